#include "app/animation/kantrel_movie.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace {

const QString imageFolder = QStringLiteral(":/resources/img/");

QList<QPixmap> loadFrames(QString path)
{
    path.remove(imageFolder);
    path.remove(QStringLiteral(".gif"));
    path.remove(QStringLiteral(".png"));

    QList<QPixmap> frames;
    for (int n = 0;; ++n) {
        QPixmap frame;
        if (!frame.load(imageFolder + path + QLatin1Char('_') + QString::number(n) +
                        QStringLiteral(".png")))
            break;
        frames.append(frame);
    }
    return frames;
}

} // namespace

KantrelMovie::KantrelMovie(const QString& imagePath, QWidget* parent)
    : QObject(parent)
    , m_frames(loadFrames(imagePath))
{
    m_label = new QLabel(parent);
    m_label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    if (!m_frames.isEmpty()) {
        m_label->setPixmap(m_frames.first());
        m_label->setFixedSize(m_frames.first().size());
    }
}

KantrelMovie::~KantrelMovie()
{
    delete m_label;
    delete m_timer;
}

QPixmap KantrelMovie::currentPixmap() const
{
    if (!m_label)
        return QPixmap();
    return m_label->pixmap(Qt::ReturnByValue);
}

void KantrelMovie::SLOT_startAnimation()
{
    if (!m_timer) {
        m_timer = new QTimer(this);
        m_timer->setInterval(100);
        connect(m_timer, SIGNAL(timeout()), this, SLOT(SLOT_transform()));
    }
    m_timer->start();
}

void KantrelMovie::SLOT_stopAnimation()
{
    if (m_timer)
        m_timer->stop();
}

void KantrelMovie::SLOT_transform()
{
    m_currentFrame = m_currentFrame + 1 < m_frames.size() ? m_currentFrame + 1 : 0;
    if (m_label && m_currentFrame < m_frames.size())
        m_label->setPixmap(m_frames.at(m_currentFrame));
    emit SIGNAL_frameChanged(m_currentFrame);
}
