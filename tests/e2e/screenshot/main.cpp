// Grabs the whole screen of $DISPLAY into a PNG file and prints its path.
//
//   ravo_e2e_screenshot FILE [X Y WIDTH HEIGHT]... [--colour COLOURS X Y WIDTH HEIGHT]
//
// Each area must show more than one colour, else it exits with 3 (a window
// the web engine drew nothing in). With --colour the last area (a tray icon)
// must hold each colour of the comma-separated list ("rrggbb") somewhere and
// none marked "-rrggbb", else it exits with 4.
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

namespace {

QRect areaOf(char** argv)
{
    return QRect(std::atoi(argv[0]), std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3]));
}

// 0 when the area shows two colours or more, else 3 with the reason.
int checkDrawn(const QImage& image, const QRect& wanted)
{
    const QRect area = wanted.intersected(image.rect());
    if (area.isEmpty()) {
        std::printf("the area lies outside the screen\n");
        return 3;
    }
    const QRgb first = image.pixel(area.topLeft());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) != first)
                return 0;
        }
    }
    std::printf("the area %dx%d+%d+%d is one colour (#%06x)\n", area.width(), area.height(),
                area.x(), area.y(), unsigned(first & 0xFFFFFF));
    return 3;
}

// 0 when the area holds the colours listed and none of those marked "-",
// else 4 with the reasons.
int checkColours(const QImage& image, const QByteArray& colours, const QRect& wanted)
{
    const QRect icon = wanted.intersected(image.rect());
    int result = 0;
    for (const QByteArray& entry : colours.split(',')) {
        const bool absent = entry.startsWith('-');
        const QRgb colour = QRgb(entry.mid(absent ? 1 : 0).toUInt(nullptr, 16)) & 0xFFFFFF;
        bool found = false;
        for (int y = icon.top(); y <= icon.bottom() && !found; ++y) {
            for (int x = icon.left(); x <= icon.right() && !found; ++x)
                found = (image.pixel(x, y) & 0xFFFFFF) == colour;
        }
        if (found == absent) {
            std::printf("the area %dx%d+%d+%d %s the colour #%06x\n", icon.width(), icon.height(),
                        icon.x(), icon.y(), absent ? "holds" : "lacks", unsigned(colour));
            result = 4;
        }
    }
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    // Areas of four numbers, then the colour check's six arguments.
    int areasEnd = argc;
    for (int i = 2; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--colour")
            areasEnd = i;
    }
    const bool colourCheck = areasEnd != argc;
    if (argc < 2 || (areasEnd - 2) % 4 != 0 || (colourCheck && argc - areasEnd != 6)) {
        std::fprintf(stderr, "usage: ravo_e2e_screenshot FILE [X Y WIDTH HEIGHT]... "
                             "[--colour COLOURS X Y WIDTH HEIGHT]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    int qtArgc = 1;
    QGuiApplication application(qtArgc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fprintf(stderr, "no screen\n");
        return 1;
    }
    const QImage image = screen->grabWindow(0).toImage();
    if (image.isNull() || !image.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot grab the screen into %s\n", argv[1]);
        return 1;
    }
    std::printf("screenshot %s\n", argv[1]);

    int result = 0;
    for (int i = 2; i < areasEnd; i += 4) {
        if (checkDrawn(image, areaOf(argv + i)) != 0)
            result = 3;
    }
    if (result == 0 && colourCheck)
        result = checkColours(image, QByteArray(argv[areasEnd + 1]), areaOf(argv + areasEnd + 2));
    return result;
}
