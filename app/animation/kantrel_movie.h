#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>

#include <QLabel>
class QTimer;
class QWidget;

// A short animation of numbered pictures from the built-in resources, shown
// in a label on the given widget. Every step is announced, so the current
// picture can be copied elsewhere (the tray icon does).
//
// A path such as ":/resources/img/state_syncon_16.png" names the frames
// ":/resources/img/state_syncon_16_0.png", "_1.png", ... up to the first one
// missing. All frames are loaded at construction.
class KantrelMovie : public QObject {
    Q_OBJECT
public:
    KantrelMovie(const QString& imagePath, QWidget* parent);
    ~KantrelMovie() override;

    // A copy of the picture the label shows; empty when there are no frames.
    QPixmap currentPixmap() const;

    // For tests and owners: the frames, the label and the step timer (null
    // until the first start).
    int frameCount() const { return m_frames.size(); }
    int currentFrame() const { return m_currentFrame; }
    QLabel* label() const { return m_label; }
    QTimer* timer() const { return m_timer; }

public slots:
    // Starts the cycling (100 ms a frame), continuing from the current frame.
    void SLOT_startAnimation();
    // Stops it; the current picture stays.
    void SLOT_stopAnimation();
    // Shows the next frame, wrapping after the last.
    void SLOT_transform();

signals:
    void SIGNAL_frameChanged(int frameIndex);

private:
    // Also a child of the parent widget, which may delete it first.
    QPointer<QLabel> m_label;
    QList<QPixmap> m_frames;
    QTimer* m_timer = nullptr;
    int m_currentFrame = 0;
};
