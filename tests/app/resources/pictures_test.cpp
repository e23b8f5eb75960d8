// The program's pictures, as the built-in resources hold them.
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <gtest/gtest.h>

namespace {

struct Picture {
    const char* path;
    QSize size;
};

void PrintTo(const Picture& p, std::ostream* os)
{
    *os << p.path;
}

const QSize tray(16, 16);
const QSize waiting(64, 64);

class Pictures : public ::testing::TestWithParam<Picture> {};

TEST_P(Pictures, LoadAtTheirSize)
{
    const QPixmap pixmap(QString::fromLatin1(GetParam().path));
    ASSERT_FALSE(pixmap.isNull()) << GetParam().path;
    EXPECT_EQ(pixmap.size(), GetParam().size) << GetParam().path;
    // The pictures sit on a transparent background.
    EXPECT_TRUE(pixmap.hasAlphaChannel()) << GetParam().path;
    EXPECT_EQ(qAlpha(pixmap.toImage().pixel(0, 0)), 0) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Pictures,
    ::testing::Values(Picture{":/resources/img/ravosync.png", QSize(128, 128)},
                      Picture{":/resources/img/state_syncon_16.png", tray},
                      Picture{":/resources/img/state_syncok_16.png", tray},
                      Picture{":/resources/img/state_syncerror_16.png", tray},
                      Picture{":/resources/img/state_syncinfo_16.png", tray},
                      Picture{":/resources/img/state_syncon_16_0.png", tray},
                      Picture{":/resources/img/state_syncon_16_1.png", tray},
                      Picture{":/resources/img/state_syncon_16_2.png", tray},
                      Picture{":/resources/img/state_syncon_16_3.png", tray},
                      Picture{":/resources/img/waiting/waiting_0.png", waiting},
                      Picture{":/resources/img/waiting/waiting_1.png", waiting},
                      Picture{":/resources/img/waiting/waiting_2.png", waiting},
                      Picture{":/resources/img/waiting/waiting_3.png", waiting},
                      Picture{":/resources/img/waiting/waiting_4.png", waiting},
                      Picture{":/resources/img/waiting/waiting_5.png", waiting}));

QImage load(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

TEST(Pictures, TheFourTrayStatesDiffer)
{
    const QString states[] = {QStringLiteral("syncon"), QStringLiteral("syncok"),
                              QStringLiteral("syncerror"), QStringLiteral("syncinfo")};
    for (const QString& a : states) {
        for (const QString& b : states) {
            if (a == b)
                continue;
            EXPECT_NE(load(QStringLiteral(":/resources/img/state_%1_16.png").arg(a)),
                      load(QStringLiteral(":/resources/img/state_%1_16.png").arg(b)))
                << a.toStdString() << " and " << b.toStdString();
        }
    }
}

struct Animation {
    const char* base;
    int frames;
};

void PrintTo(const Animation& a, std::ostream* os)
{
    *os << a.base;
}

class ConsecutiveFrames : public ::testing::TestWithParam<Animation> {};

TEST_P(ConsecutiveFrames, Differ)
{
    const QString pattern = QStringLiteral(":/resources/img/%1_%2.png");
    const int frames = GetParam().frames;
    for (int n = 0; n < frames; ++n) {
        const QImage current = load(pattern.arg(QLatin1String(GetParam().base)).arg(n));
        const QImage next = load(pattern.arg(QLatin1String(GetParam().base)).arg((n + 1) % frames));
        ASSERT_FALSE(current.isNull());
        EXPECT_NE(current, next) << GetParam().base << " frame " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ConsecutiveFrames,
                         ::testing::Values(Animation{"state_syncon_16", 4},
                                           Animation{"waiting/waiting", 6}));

} // namespace
