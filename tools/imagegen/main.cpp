// imagegen OUTDIR NAME...: draws each named picture (a path below OUTDIR,
// such as "img/ravosync.png") and writes it there as PNG. Without names it
// writes every picture it knows. Needs no display.
#include "tools/imagegen/pictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

#include <cstdio>

namespace {

bool writePicture(const QString& outDir, const QString& name)
{
    const QImage image = ImageGen::drawPicture(name);
    if (image.isNull()) {
        std::fprintf(stderr, "imagegen: no picture named %s\n", qPrintable(name));
        return false;
    }
    const QString path = QDir(outDir).filePath(name);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        std::fprintf(stderr, "imagegen: cannot create the folder of %s\n", qPrintable(path));
        return false;
    }
    // Written in one piece, so an interrupted build never leaves half a file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "imagegen: cannot write %s\n", qPrintable(path));
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(image) || !file.commit()) {
        std::fprintf(stderr, "imagegen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: imagegen OUTDIR [NAME...]\n");
        return 2;
    }
    const QString outDir = args.takeFirst();
    const QStringList names = args.isEmpty() ? ImageGen::pictureNames() : args;
    bool ok = true;
    for (const QString& name : names)
        ok = writePicture(outDir, name) && ok;
    return ok ? 0 : 1;
}
