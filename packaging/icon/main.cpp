// SPDX-License-Identifier: MIT
// vantrel-icon SVG ICO: draws the SVG at the sizes Windows shows an icon at and writes them into one .ico file, each
// image as PNG (which Windows reads in an icon since Vista). Needs Qt's SVG image format plugin; the SVG's text needs
// fonts, so run it with a platform (QT_QPA_PLATFORM=offscreen where there is no display).
#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QtEndian>

#include <cstdio>

namespace
{
constexpr int kSizes[] = {16, 20, 24, 32, 40, 48, 64, 256};

template <typename T> void put(QByteArray &out, T value)
{
    const T little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&little), sizeof little);
}
} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: vantrel-icon SVG ICO\n");
        return 1;
    }
    QList<QByteArray> images;
    for (const int size : kSizes) {
        QImageReader reader(arguments[1]);
        reader.setScaledSize(QSize(size, size));
        const QImage image = reader.read();
        QByteArray png;
        QBuffer buffer(&png);
        if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
            std::fprintf(stderr, "vantrel-icon: cannot draw %s at %d pixels: %s\n", qPrintable(arguments[1]), size,
                         qPrintable(reader.errorString()));
            return 1;
        }
        images << png;
    }
    // ICONDIR, then one 16-byte ICONDIRENTRY per image (a size of 256 is written as 0), then the images.
    QByteArray ico;
    put<quint16>(ico, 0);
    put<quint16>(ico, 1);
    put<quint16>(ico, quint16(images.size()));
    quint32 offset = 6 + 16 * quint32(images.size());
    for (qsizetype i = 0; i < images.size(); ++i) {
        const auto side = quint8(kSizes[i] % 256);
        put<quint8>(ico, side);
        put<quint8>(ico, side);
        put<quint8>(ico, 0);   // no palette
        put<quint8>(ico, 0);   // reserved
        put<quint16>(ico, 1);  // colour planes
        put<quint16>(ico, 32); // bits per pixel
        put<quint32>(ico, quint32(images[i].size()));
        put<quint32>(ico, offset);
        offset += quint32(images[i].size());
    }
    for (const QByteArray &png : images)
        ico += png;
    QFile out(arguments[2]);
    if (!out.open(QIODevice::WriteOnly) || out.write(ico) != ico.size()) {
        std::fprintf(stderr, "vantrel-icon: cannot write %s\n", qPrintable(arguments[2]));
        return 1;
    }
    return 0;
}
