#include "app/DataFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace veltrum::app {

QString programFolder() {
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
}

QString defaultDataFolder(const QString& programFolder, const QString& homeFolder) {
    const QString beside = QDir(programFolder).filePath(QStringLiteral("Veltrum"));
    if (QFileInfo(beside).isDir())
        return beside;
    return QDir(homeFolder).filePath(QStringLiteral("Veltrum"));
}

QString demoDataFolder(const QString& programFolder) {
    const QDir program(programFolder);
    for (const QString& candidate : {program.filePath(QStringLiteral("../share/veltrum/demo")),
                                     program.filePath(QStringLiteral("demo"))}) {
        if (QFileInfo::exists(QDir(candidate).filePath(QStringLiteral("CurrentSchedule.txt"))))
            return QDir::cleanPath(candidate);
    }
    return {};
}

QString makeDataFolder(const QString& demo, const QString& folder) {
    if (demo.isEmpty())
        return QStringLiteral("The demo data folder was not found beside the program "
                              "(share/veltrum/demo); reinstall the program.");
    const QDir target(folder);
    if (QFileInfo::exists(folder) &&
        (!QFileInfo(folder).isDir() ||
         !target.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)))
        return QStringLiteral("%1 already exists and is not an empty folder; nothing was copied. Choose a "
                              "new folder.")
            .arg(folder);
    if (!target.mkpath(QStringLiteral(".")))
        return QStringLiteral("Cannot create the folder %1.").arg(folder);
    const QDir source(demo);
    QDirIterator files(demo, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString from = files.next();
        const QString relative = source.relativeFilePath(from);
        const QString to = target.filePath(relative);
        if (!target.mkpath(QFileInfo(relative).path()) || !QFile::copy(from, to))
            return QStringLiteral("Cannot copy %1 to %2.").arg(from, to);
        // Installed demo files are read-only; the copies are the operator's own, to be written to.
        QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return {};
}

QString missingDataFolderMessage(const QString& folder) {
    return QStringLiteral("The data folder %1 does not exist. Make one from the demo data with\n"
                          "    veltrum --new-data-folder %1\n"
                          "or name another folder with --data DIR.")
        .arg(QDir::toNativeSeparators(folder));
}

} // namespace veltrum::app
