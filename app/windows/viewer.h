#pragma once

#include "app/sync_state/sync_state.h"
#include "app/windows/web_view.h"

#include <QPointer>
#include <QString>
#include <QWidget>

namespace ConnectLayout {

// The window keeper of one sync window: places, sizes, raises and hides the
// main view (owned by the bridge) and owns the small quick dialog (help
// texts and prompts). The quick page calls the viewer as "JSObject". Never
// shown itself.
class Viewer : public QWidget {
    Q_OBJECT
public:
    Viewer();
    ~Viewer() override;

    // The quick dialog's view; null until the first quick dialog.
    WebView* quickView() const { return m_quickView; }
    WebView* mainView() const { return m_mainView; }
    ConnectGlobals::SyncState::DialogState dialogState() const { return m_dialogState; }

public slots:
    void SLOT_showDialog(ConnectLayout::WebView* webView);
    void SLOT_putOnTop(ConnectLayout::WebView* webView);
    void SLOT_resizeView(ConnectLayout::WebView* view);
    void SLOT_showQuickDialog(ConnectGlobals::SyncState::DialogState state,
                              ConnectGlobals::SyncState::DialogType type, QString helpContent,
                              QString script);
    void SLOT_hideQuickDialog();
    void SLOT_close();
    void SLOT_quit();
    void SLOT_quickDlgReady();
    void SLOT_clicked(QString buttonId);
    void SLOT_evaluateJS(QString js_command);
    bool SLOT_isOfflineDialog();
    QString SLOT_loadAppSetting(QString key);
    void SLOT_copyToClipboard(QString text);
    void SLOT_addJSObject();

private:
    void closeQuickView();
    void createQuickView();

    // Owned by the bridge; tracked so a view deleted there is never touched.
    QPointer<WebView> m_mainView;
    WebView* m_quickView = nullptr;
    ConnectGlobals::SyncState::DialogState m_dialogState = ConnectGlobals::SyncState::SyncDialog;
    // Each viewer keeps its own, so two windows' quick dialogs never run
    // each other's script.
    QString m_quickDialogScript;
};

} // namespace ConnectLayout
