#include "app/animation/kantrel_movie.h"
#include "tests/support/param_name.h"

#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

const QString trayIcon = QStringLiteral(":/resources/img/state_syncon_16.png");
const QString waiting = QStringLiteral(":/resources/img/waiting/waiting.png");

QImage frameImage(const QString& base, int n)
{
    return QImage(QStringLiteral(":/resources/img/%1_%2.png").arg(base).arg(n));
}

QImage shown(const KantrelMovie& movie)
{
    return movie.currentPixmap().toImage().convertToFormat(QImage::Format_ARGB32);
}

struct FrameCase {
    QString path;
    int frames;
};

void PrintTo(const FrameCase& c, std::ostream* os)
{
    *os << c.path.toStdString();
}

class FrameCount : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameCount, LoadsEveryNumberedFrame)
{
    QWidget parent;
    KantrelMovie movie(GetParam().path, &parent);
    EXPECT_EQ(movie.frameCount(), GetParam().frames);
}

INSTANTIATE_TEST_SUITE_P(Table, FrameCount,
                         ::testing::Values(FrameCase{trayIcon, 4}, FrameCase{waiting, 6},
                                           FrameCase{QStringLiteral("state_syncon_16"), 4},
                                           FrameCase{QStringLiteral(":/resources/img/none.png"),
                                                     0}),
                         zarvo::test::printed_name());

TEST(KantrelMovie, LabelStartsOnFrameZeroAtItsSize)
{
    QWidget parent;
    KantrelMovie movie(waiting, &parent);
    ASSERT_NE(movie.label(), nullptr);
    EXPECT_EQ(movie.label()->parentWidget(), &parent);
    const QImage first = frameImage(QStringLiteral("waiting/waiting"), 0);
    EXPECT_EQ(movie.label()->minimumSize(), first.size());
    EXPECT_EQ(movie.label()->maximumSize(), first.size());
    EXPECT_EQ(movie.label()->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
    EXPECT_EQ(shown(movie), first.convertToFormat(QImage::Format_ARGB32));
}

TEST(KantrelMovie, StepsWrapAndTheLabelFollows)
{
    QWidget parent;
    KantrelMovie movie(trayIcon, &parent);
    QSignalSpy changed(&movie, &KantrelMovie::SIGNAL_frameChanged);
    const int expected[] = {1, 2, 3, 0, 1};
    for (int index : expected) {
        movie.SLOT_transform();
        ASSERT_EQ(changed.takeFirst().at(0).toInt(), index);
        EXPECT_EQ(shown(movie), frameImage(QStringLiteral("state_syncon_16"), index)
                                    .convertToFormat(QImage::Format_ARGB32))
            << "frame " << index;
    }
}

TEST(KantrelMovie, OneTimerOf100MsHowEverOftenStarted)
{
    QWidget parent;
    KantrelMovie movie(trayIcon, &parent);
    EXPECT_EQ(movie.timer(), nullptr);
    movie.SLOT_startAnimation();
    QTimer* timer = movie.timer();
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 100);
    EXPECT_TRUE(timer->isActive());
    movie.SLOT_startAnimation();
    EXPECT_EQ(movie.timer(), timer);
    EXPECT_EQ(movie.findChildren<QTimer*>().size(), 1);
}

TEST(KantrelMovie, TheTimerDrivesTheSteps)
{
    QWidget parent;
    KantrelMovie movie(trayIcon, &parent);
    QSignalSpy changed(&movie, &KantrelMovie::SIGNAL_frameChanged);
    movie.SLOT_startAnimation();
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_EQ(changed.first().at(0).toInt(), 1);
}

TEST(KantrelMovie, StopKeepsThePictureAndStartContinuesFromIt)
{
    QWidget parent;
    KantrelMovie movie(trayIcon, &parent);
    movie.SLOT_startAnimation();
    movie.SLOT_transform();
    movie.SLOT_transform();
    movie.SLOT_stopAnimation();
    EXPECT_FALSE(movie.timer()->isActive());
    const QImage kept = shown(movie);
    EXPECT_EQ(
        kept,
        frameImage(QStringLiteral("state_syncon_16"), 2).convertToFormat(QImage::Format_ARGB32));

    QSignalSpy changed(&movie, &KantrelMovie::SIGNAL_frameChanged);
    movie.SLOT_startAnimation();
    EXPECT_EQ(shown(movie), kept);
    movie.SLOT_transform();
    EXPECT_EQ(changed.first().at(0).toInt(), 3);
}

TEST(KantrelMovie, StopBeforeAnyStartDoesNothing)
{
    QWidget parent;
    KantrelMovie movie(trayIcon, &parent);
    movie.SLOT_stopAnimation();
    EXPECT_EQ(movie.timer(), nullptr);
}

TEST(KantrelMovie, PathWithoutFramesStaysOnIndexZeroWithNoPicture)
{
    QWidget parent;
    KantrelMovie movie(QStringLiteral(":/resources/img/missing.png"), &parent);
    QSignalSpy changed(&movie, &KantrelMovie::SIGNAL_frameChanged);
    for (int i = 0; i < 3; ++i)
        movie.SLOT_transform();
    ASSERT_EQ(changed.size(), 3);
    for (const QList<QVariant>& args : changed)
        EXPECT_EQ(args.at(0).toInt(), 0);
    EXPECT_TRUE(movie.currentPixmap().isNull());
}

TEST(KantrelMovie, ParentDeletedFirstLeavesNothingBehind)
{
    auto* parent = new QWidget;
    QPointer<KantrelMovie> movie = new KantrelMovie(trayIcon, parent);
    QPointer<QLabel> label = movie->label();
    delete parent;
    EXPECT_TRUE(movie.isNull());
    EXPECT_TRUE(label.isNull());
}

} // namespace
