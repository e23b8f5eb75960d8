// The program's pictures, as the built-in resources hold them.
#include "tests/support/param_name.h"

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
const QSize footer(24, 24);
const QSize panel(16, 16);

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
                      Picture{":/resources/img/waiting/waiting_5.png", waiting},
                      Picture{":/resources/img/settings_button.png", footer},
                      Picture{":/resources/img/settings_button_disabled.png", footer},
                      Picture{":/resources/img/settings_button_hover.png", footer},
                      Picture{":/resources/img/help.png", footer},
                      Picture{":/resources/img/help_hover.png", footer},
                      Picture{":/resources/img/quickhelp.png", QSize(20, 20)},
                      Picture{":/resources/img/quickhelp_hover.png", QSize(20, 20)},
                      Picture{":/resources/img/dropdown_arrow.png", QSize(12, 8)},
                      Picture{":/resources/img/dropdown_arrow_up.png", QSize(12, 8)},
                      Picture{":/resources/img/checkbox.png", panel},
                      Picture{":/resources/img/checkbox_checked.png", panel},
                      Picture{":/resources/img/radio.png", panel},
                      Picture{":/resources/img/radio_checked.png", panel}),
    zarvo::test::printed_name());

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

// The states of one control must be told apart at a glance.
TEST(Pictures, ControlStatesDiffer)
{
    const char* const pairs[][2] = {
        {"settings_button", "settings_button_disabled"},
        {"settings_button", "settings_button_hover"},
        {"help", "help_hover"},
        {"quickhelp", "quickhelp_hover"},
        {"dropdown_arrow", "dropdown_arrow_up"},
        {"checkbox", "checkbox_checked"},
        {"radio", "radio_checked"},
    };
    for (const auto& pair : pairs) {
        const QImage a = load(QStringLiteral(":/resources/img/%1.png").arg(QLatin1String(pair[0])));
        const QImage b = load(QStringLiteral(":/resources/img/%1.png").arg(QLatin1String(pair[1])));
        ASSERT_FALSE(a.isNull()) << pair[0];
        EXPECT_NE(a, b) << pair[0] << " and " << pair[1];
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
                                           Animation{"waiting/waiting", 6}),
                         zarvo::test::printed_name());

} // namespace
