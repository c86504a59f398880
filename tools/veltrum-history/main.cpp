// veltrum-history --data DIR --subject NAME --output FILE.png [--width W --height H]
// Writes the plot of a subject's earlier sessions (the summary's rates by session, phases named) as a
// picture. Runs without a display when QT_QPA_PLATFORM=offscreen, which it picks itself when none is set.
#include "Version.h"
#include "console_qt/HistoryChart.h"
#include "engine/SubjectName.h"
#include "platform/LocalFileSystem.h"
#include "records/SessionRecords.h"
#include "workbook/Workbook.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
        std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veltrum-history"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELTRUM_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes the plot of a subject's earlier sessions from Results/Results_Summary.xls."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption data(QStringLiteral("data"), QStringLiteral("The data folder."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption subject(QStringLiteral("subject"), QStringLiteral("The subject."),
                                     QStringLiteral("NAME"));
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("The picture to write (PNG)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption width(QStringLiteral("width"), QStringLiteral("Width in pixels (900)."),
                                   QStringLiteral("W"), QStringLiteral("900"));
    const QCommandLineOption height(QStringLiteral("height"), QStringLiteral("Height in pixels (500)."),
                                    QStringLiteral("H"), QStringLiteral("500"));
    parser.addOptions({data, subject, output, width, height});
    parser.process(application);
    if (!parser.isSet(data) || !parser.isSet(subject) || !parser.isSet(output)) {
        std::fprintf(stderr, "veltrum-history: --data, --subject and --output are needed\n%s",
                     qUtf8Printable(parser.helpText()));
        return 2;
    }
    const int w = parser.value(width).toInt();
    const int h = parser.value(height).toInt();
    if (w < 200 || h < 150 || w > 8000 || h > 8000) {
        std::fprintf(stderr, "veltrum-history: the picture must be 200x150 to 8000x8000 pixels\n");
        return 2;
    }
    // A name no subject may have is refused by the same rule as on the set-up panel.
    if (const std::optional<std::string> refusal =
            veltrum::engine::subjectNameRefusal(parser.value(subject).toStdString())) {
        std::fprintf(stderr, "veltrum-history: %s\n", refusal->c_str());
        return 2;
    }
    const QString workbook = QDir(parser.value(data)).filePath(QStringLiteral("Results/Results_Summary.xls"));
    std::vector<veltrum::history::SessionRates> sessions;
    try {
        veltrum::platform::LocalFileSystem files;
        veltrum::records::WorkbookRecords records(files);
        sessions = veltrum::history::readSubjectHistory(records, workbook.toStdString(),
                                                        parser.value(subject).toStdString());
    } catch (const veltrum::workbook::WorkbookError& error) {
        std::fprintf(stderr, "veltrum-history: %s\n", error.what());
        return 1;
    }
    // A subject with no record in the summary and no parameters workbook is not one of the lab's: most
    // often a typing slip, told as such rather than drawn as an empty plot.
    const QString subjectName = parser.value(subject);
    if (sessions.empty()) {
        const QDir parameterFolder(QDir(parser.value(data)).filePath(QStringLiteral("Parameters")));
        const QString parameters = parameterFolder.filePath(subjectName + QStringLiteral(".xls"));
        const bool known =
            std::ranges::any_of(parameterFolder.entryList(QDir::Files), [&subjectName](const QString& name) {
                return name.compare(subjectName + QStringLiteral(".xls"), Qt::CaseInsensitive) == 0;
            });
        if (!known) {
            std::fprintf(stderr,
                         "veltrum-history: %s has no sessions in %s and no parameters workbook %s: no such "
                         "subject in this data folder\n",
                         qUtf8Printable(subjectName), qUtf8Printable(workbook), qUtf8Printable(parameters));
            return 1;
        }
        std::printf("veltrum-history: %s has no sessions yet\n", qUtf8Printable(subjectName));
    }
    const QImage picture =
        veltrum::console_qt::renderHistoryPicture(parser.value(subject), sessions, QSize(w, h));
    if (!picture.save(parser.value(output), "PNG")) {
        std::fprintf(stderr, "veltrum-history: cannot write %s\n", qUtf8Printable(parser.value(output)));
        return 1;
    }
    std::printf("veltrum-history: %zu session(s) of %s written to %s\n", sessions.size(),
                qUtf8Printable(parser.value(subject)), qUtf8Printable(parser.value(output)));
    return 0;
}
