// Grabs the whole screen of $DISPLAY into a PNG file and prints its path.
//
//   ravo_e2e_screenshot FILE [X Y WIDTH HEIGHT [--colour COLOURS X Y WIDTH HEIGHT]]
//
// With an area it also checks that the area shows more than one colour and
// exits with 3 when it does not (a window the web engine drew nothing in).
// With --colour the second area (a tray icon) must hold each colour of the
// comma-separated list ("rrggbb") somewhere and none marked "-rrggbb", else
// it exits with 4.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <QByteArray>

#include <cstdio>
#include <cstdlib>

namespace {

QRect areaOf(char** argv)
{
    return QRect(std::atoi(argv[0]), std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3]));
}

} // namespace

int main(int argc, char** argv)
{
    const bool colourCheck = argc == 12 && QByteArray(argv[6]) == "--colour";
    if (argc != 2 && argc != 6 && !colourCheck) {
        std::fprintf(stderr, "usage: ravo_e2e_screenshot FILE [X Y WIDTH HEIGHT "
                             "[--colour RRGGBB X Y WIDTH HEIGHT]]\n");
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
    if (argc == 2)
        return 0;

    const QRect area = areaOf(argv + 2).intersected(image.rect());
    if (area.isEmpty()) {
        std::printf("the area lies outside the screen\n");
        return 3;
    }
    const QRgb first = image.pixel(area.topLeft());
    bool oneColour = true;
    for (int y = area.top(); y <= area.bottom() && oneColour; ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) != first) {
                oneColour = false;
                break;
            }
        }
    }
    if (oneColour) {
        std::printf("the area %dx%d+%d+%d is one colour (#%06x)\n", area.width(), area.height(),
                    area.x(), area.y(), unsigned(first & 0xFFFFFF));
        return 3;
    }
    if (!colourCheck)
        return 0;

    const QRect icon = areaOf(argv + 8).intersected(image.rect());
    int result = 0;
    for (const QByteArray& entry : QByteArray(argv[7]).split(',')) {
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
