#include "output_folder.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "errors.h"

namespace corvane_apps {
namespace {

const QString kStagingPrefix = QStringLiteral(".corvane-partial-");

// A rename that replaces what `to` names, as one step.
bool Move(const QString& from, const QString& to) {
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// Puts back what previous/ holds and takes away the new files that moved in without replacing
// anything; new files that never moved are left to be deleted with the staging folder.
bool PutBack(const QDir& folder, const QDir& staging, const QStringList& names) {
    bool all = true;
    for (const QString& name : names) {
        const QString previous = staging.filePath(QStringLiteral("previous/") + name);
        if (QFileInfo::exists(previous)) all &= Move(previous, folder.filePath(name));
        else if (!QFileInfo::exists(staging.filePath(QStringLiteral("new/") + name)))
            all &= !QFileInfo::exists(folder.filePath(name)) || QFile::remove(folder.filePath(name));
    }
    return all;
}

QStringList NamesMoving(const QDir& staging) {
    QFile file(staging.filePath(QStringLiteral("names")));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The process that made a staging folder, from its name; 0 when the name holds none.
pid_t Owner(const QString& stagingName) {
    bool ok = false;
    const qint64 pid = stagingName.mid(kStagingPrefix.size()).section(QLatin1Char('-'), 0, 0).toLongLong(&ok);
    return ok && pid > 0 ? pid_t(pid) : 0;
}

bool Running(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

// The staging folder's template, in `folder` (made when missing).
QString StagingTemplate(const QString& folder) {
    if (!QDir().mkpath(folder)) Fail(QStringLiteral("%1: cannot make the folder").arg(folder));
    return QDir(folder).filePath(kStagingPrefix + QString::number(getpid()) + QStringLiteral("-XXXXXX"));
}

}  // namespace

OutputFolder::OutputFolder(const QString& folder) : m_folder(folder), m_staging(StagingTemplate(folder)) {
    if (!m_staging.isValid() || !QDir(m_staging.path()).mkpath(QStringLiteral("new")))
        Fail(QStringLiteral("%1: cannot write there: %2").arg(folder, m_staging.errorString()));
}

QString OutputFolder::Staged(const QString& name) const { return m_staging.filePath(QStringLiteral("new/") + name); }

void OutputFolder::Commit() {
    const QDir folder(m_folder), staging(m_staging.path());
    // Every file written moves, with those a format writes beside the mesh (glTF's .bin).
    const QStringList names = QDir(staging.filePath(QStringLiteral("new"))).entryList(QDir::Files | QDir::Hidden);
    // A rename cannot replace a folder: found before anything moves.
    for (const QString& name : names) {
        const QFileInfo target(folder.filePath(name));
        if (target.exists() && target.isDir() && !target.isSymLink())
            Fail(QStringLiteral("%1: cannot write %2: a folder of that name is in the way").arg(m_folder, name));
    }
    QSaveFile list(staging.filePath(QStringLiteral("names")));
    if (!list.open(QIODevice::WriteOnly) || list.write(names.join(QLatin1Char('\n')).toUtf8()) < 0 || !list.commit() ||
        !staging.mkpath(QStringLiteral("previous")))
        Fail(QStringLiteral("%1: cannot write there: %2").arg(m_folder, list.errorString()));
    const auto failed = [&](const QString& name) {
        const bool restored = PutBack(folder, staging, names);
        // What could not be put back stays where the message says it is.
        if (!restored) m_staging.setAutoRemove(false);
        Fail(restored ? QStringLiteral("%1: cannot move %2 into place; the earlier outputs are as they were")
                            .arg(m_folder, name)
                      : QStringLiteral("%1: cannot move %2 into place, nor put every earlier output back; what was "
                                       "not put back is in %3/previous")
                            .arg(m_folder, name, staging.path()));
    };
    for (const QString& name : names) {
        const QString target = folder.filePath(name);
        if (QFileInfo(target).exists() || QFileInfo(target).isSymLink())
            if (!Move(target, staging.filePath(QStringLiteral("previous/") + name))) failed(name);
    }
    for (const QString& name : names)
        if (!Move(Staged(name), folder.filePath(name))) failed(name);
}

void OutputFolder::RecoverInterrupted(const QString& folder) {
    const QDir directory(folder);
    const QStringList found = directory.entryList({kStagingPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden);
    for (const QString& name : found) {
        if (Running(Owner(name))) continue;
        QDir staging(directory.filePath(name));
        if (!PutBack(directory, staging, NamesMoving(staging))) continue;  // kept, so nothing is lost
        staging.removeRecursively();
    }
}

}  // namespace corvane_apps
