// Grabs the whole screen of $DISPLAY into a PNG file and prints its path.
//
//   ravo_e2e_screenshot FILE [X Y WIDTH HEIGHT]
//
// With an area it also checks that the area shows more than one colour and
// exits with 3 when it does not (a window the web engine drew nothing in).
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 6) {
        std::fprintf(stderr, "usage: ravo_e2e_screenshot FILE [X Y WIDTH HEIGHT]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication application(argc, argv);
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

    const QRect area =
        QRect(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5])).intersected(image.rect());
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
