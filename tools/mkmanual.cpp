// mkmanual IN.md OUT.pdf: typesets the user manual (Markdown, pictures relative to its folder) as
// an A4 PDF. Runs without a display: the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QUrl>

#include <algorithm>
#include <cstdio>

namespace {

// QTextDocument::print sets 2 cm margins of its own inside the page and numbers the pages; its text
// width on A4 is then 170 mm, some 640 document units.
constexpr double cPictureWidth = 600.0;

// Loads every picture the text names and fits the wide ones to the page width, keeping proportions.
bool PlacePictures(QTextDocument& doc, const QString& folder) {
    bool ok = true;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat()) continue;
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            const QString path = folder + QLatin1Char('/') + format.name();
            const QImage picture(path);
            if (picture.isNull()) {
                std::fprintf(stderr, "mkmanual: %s: cannot read the picture\n", qPrintable(path));
                ok = false;
                continue;
            }
            doc.addResource(QTextDocument::ImageResource, QUrl(format.name()), picture);
            const double width = std::min<double>(cPictureWidth, picture.width());
            format.setWidth(width);
            format.setHeight(width * picture.height() / picture.width());
            QTextCursor cursor(&doc);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkmanual IN.md OUT.pdf\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QFile source(QString::fromLocal8Bit(argv[1]));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "mkmanual: %s: %s\n", argv[1], qPrintable(source.errorString()));
        return 1;
    }
    QTextDocument doc;
    QFont font(QStringLiteral("DejaVu Sans"), 10);
    doc.setDefaultFont(font);
    doc.setDefaultStyleSheet(QStringLiteral("code { font-family: 'DejaVu Sans Mono'; }"));
    doc.setMarkdown(QString::fromUtf8(source.readAll()));
    const QString folder = QFileInfo(source).absolutePath();
    doc.setBaseUrl(QUrl::fromLocalFile(folder + QLatin1Char('/')));
    if (!PlacePictures(doc, folder)) return 1;

    const QString outPath = QString::fromLocal8Bit(argv[2]);
    {
        QPdfWriter writer(outPath);
        writer.setTitle(QStringLiteral("Blockwaves! Transitions: User Manual"));
        writer.setCreator(QStringLiteral("mkmanual"));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
        doc.print(&writer);
    }
    if (QFileInfo(outPath).size() == 0) {
        std::fprintf(stderr, "mkmanual: %s: nothing was written\n", argv[2]);
        return 1;
    }
    return 0;
}
