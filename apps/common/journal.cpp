#include "journal.h"

#include <algorithm>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include "errors.h"

namespace corvane_apps {
namespace {

const QString kJournalSuffix = QStringLiteral(".journal");
const QString kLinkSuffix = QStringLiteral(".link");

// The complete lines of a journal file: what a program that stopped while writing its last
// line leaves is left out.
QList<QByteArray> CompleteLines(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    // The part after the last line feed is a line cut short, or nothing.
    lines.removeLast();
    return lines;
}

// The recovery folder's entry of a journal: its id, from the journal's own name or its link's.
QString EntryOf(const QDir& folder, const QString& journalPath) {
    const QFileInfo journal(journalPath);
    if (journal.dir() == folder && journal.fileName().endsWith(kJournalSuffix)) return journal.completeBaseName();
    for (const QString& link : folder.entryList({QStringLiteral("*") + kLinkSuffix}, QDir::Files)) {
        QFile file(folder.filePath(link));
        if (file.open(QIODevice::ReadOnly) && QString::fromUtf8(file.readAll()) == journalPath)
            return QFileInfo(link).completeBaseName();
    }
    return {};
}

}  // namespace

Journal::Journal(const QString& recoveryFolder, const QString& documentPath, const nlohmann::json& mesh) {
    const QDir folder(recoveryFolder);
    if (!QDir().mkpath(recoveryFolder)) Fail(QStringLiteral("%1: cannot make the recovery folder").arg(recoveryFolder));
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_lock = std::make_unique<QLockFile>(folder.filePath(id + QStringLiteral(".lock")));
    // Held as long as the program runs: a lock is taken over only from a program that stopped.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) Fail(QStringLiteral("%1: cannot lock a journal there").arg(recoveryFolder));
    const QFileInfo document(documentPath);
    if (!documentPath.isEmpty() && QFileInfo(document.absolutePath()).isWritable()) {
        m_path = document.absoluteFilePath() + kJournalSuffix;
        m_link = folder.filePath(id + kLinkSuffix);
        QFile link(m_link);
        if (!link.open(QIODevice::WriteOnly) || link.write(m_path.toUtf8()) < 0)
            Fail(QStringLiteral("%1: cannot write: %2").arg(m_link, link.errorString()));
    } else {
        m_path = folder.filePath(id + kJournalSuffix);
    }
    Open(QIODevice::WriteOnly | QIODevice::Truncate);
    const nlohmann::json header = {{"journal", 1}, {"mesh", mesh}};
    m_file.write(QByteArray::fromStdString(header.dump()) + '\n');
    m_file.flush();
}

std::unique_ptr<Journal> Journal::TakeOver(const QString& recoveryFolder, const QString& journalPath) {
    const QDir folder(recoveryFolder);
    const QString id = EntryOf(folder, journalPath);
    if (id.isEmpty()) Fail(QStringLiteral("%1: not a journal of %2").arg(journalPath, recoveryFolder));
    std::unique_ptr<Journal> journal(new Journal);
    journal->m_path = journalPath;
    if (QFileInfo(journalPath).dir() != folder) journal->m_link = folder.filePath(id + kLinkSuffix);
    journal->m_lock = std::make_unique<QLockFile>(folder.filePath(id + QStringLiteral(".lock")));
    journal->m_lock->setStaleLockTime(0);
    if (!journal->m_lock->tryLock(0)) Fail(QStringLiteral("%1: another program holds this journal").arg(journalPath));
    QFile file(journalPath);
    if (!file.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("%1: cannot read: %2").arg(journalPath, file.errorString()));
    const QList<QByteArray> lines = CompleteLines(file.readAll());
    file.close();
    if (lines.isEmpty()) Fail(QStringLiteral("%1: not a journal").arg(journalPath));
    // Written again whole: a line cut short goes, and new steps follow the last complete one.
    journal->Open(QIODevice::WriteOnly | QIODevice::Truncate);
    for (int i = 0; i < lines.size(); ++i) {
        journal->m_file.write(lines[i] + '\n');
        if (i > 0 && !lines[i].trimmed().isEmpty()) ++journal->m_steps;
    }
    journal->m_file.flush();
    return journal;
}

Journal::~Journal() = default;

void Journal::Open(QIODevice::OpenMode mode) {
    m_file.setFileName(m_path);
    if (!m_file.open(mode)) Fail(QStringLiteral("%1: cannot write: %2").arg(m_path, m_file.errorString()));
}

void Journal::Append(const Step& step) {
    // Flushed at once: a program killed the next moment has it on disk.
    m_file.write(QByteArray::fromStdString(StepToJson(step).dump()) + '\n');
    m_file.flush();
    ++m_steps;
}

void Journal::Discard() {
    m_file.close();
    QFile::remove(m_path);
    if (!m_link.isEmpty()) QFile::remove(m_link);
    m_lock.reset();
}

std::vector<Journal::Left> Journal::Recoverable(const QString& recoveryFolder) {
    const QDir folder(recoveryFolder);
    std::vector<Left> left;
    const QStringList entries =
        folder.entryList({QStringLiteral("*") + kJournalSuffix, QStringLiteral("*") + kLinkSuffix}, QDir::Files);
    for (const QString& entry : entries) {
        const QString id = QFileInfo(entry).completeBaseName();
        QLockFile lock(folder.filePath(id + QStringLiteral(".lock")));
        lock.setStaleLockTime(0);
        if (!lock.tryLock(0)) continue;  // a running program's
        QString path = folder.filePath(entry);
        if (entry.endsWith(kLinkSuffix)) {
            QFile link(path);
            path = link.open(QIODevice::ReadOnly) ? QString::fromUtf8(link.readAll()) : QString();
        }
        QFile file(path);
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) continue;
        const QList<QByteArray> lines = CompleteLines(file.readAll());
        Left journal{path, {}, 0, QFileInfo(path).lastModified().toSecsSinceEpoch()};
        for (int i = 1; i < lines.size(); ++i) journal.steps += !lines[i].trimmed().isEmpty();
        if (journal.steps == 0) {
            // Nothing to recover: the program stopped before its first change.
            QFile::remove(path);
            QFile::remove(folder.filePath(id + kLinkSuffix));
            continue;
        }
        try {
            const nlohmann::json header = nlohmann::json::parse(lines.front().toStdString());
            const nlohmann::json& mesh = header.at("mesh");
            journal.document = QString::fromStdString(mesh.contains("file") ? mesh["file"].get<std::string>()
                                                                            : mesh.at("builtin").get<std::string>());
        } catch (const nlohmann::json::exception&) {
            continue;  // not a journal of ours
        }
        left.push_back(journal);
    }
    std::sort(left.begin(), left.end(), [](const Left& a, const Left& b) { return a.modified > b.modified; });
    return left;
}

void Journal::Forget(const QString& recoveryFolder, const QString& journalPath) {
    const QDir folder(recoveryFolder);
    const QString id = EntryOf(folder, journalPath);
    QFile::remove(journalPath);
    if (id.isEmpty()) return;
    QFile::remove(folder.filePath(id + kLinkSuffix));
    QFile::remove(folder.filePath(id + QStringLiteral(".lock")));
}

}  // namespace corvane_apps
