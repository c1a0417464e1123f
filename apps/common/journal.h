#pragma once
// Journals: what a program does to a document, written down as it goes so that no work is lost
// when the program stops without saving (a crash, a kill). A journal is a session file in its
// journal form (docs/session-format.md): a first line with the setup (the mesh it started from:
// a shape and its subdivision, a mesh file, a project), then one step a line, each written and
// flushed as the program takes it. `corvane-sculpt run JOURNAL` plays it headless, and a
// program picks it up again with PlaySession.
//
// Journals are found again through the recovery folder of the program (one per user): a
// journal beside its document (DOCUMENT.journal) is named there by a link file, a document
// with no file yet keeps its journal there. Every journal in use is held by a lock file, so
// that two programs running at once leave each other's alone, and one that stopped leaves its
// lock free for the next to take.

#include <memory>
#include <vector>

#include <QFile>
#include <QLockFile>
#include <QString>

#include <nlohmann/json.hpp>

#include "session.h"

namespace corvane_apps {

class Journal {
public:
    /// @brief Starts a journal for a document made from `mesh` (a session's "mesh" object):
    /// beside `documentPath` when it names a file in a folder that can be written, else in
    /// `recoveryFolder`. Throws tarnix::Error* when neither can be written.
    Journal(const QString& recoveryFolder, const QString& documentPath, const nlohmann::json& mesh);
    /// @brief Takes over a journal left behind (one that Recoverable listed): its steps stay,
    /// new ones follow them.
    static std::unique_ptr<Journal> TakeOver(const QString& recoveryFolder, const QString& journalPath);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    /// @brief Appends `step` and flushes it to the file.
    void Append(const Step& step);
    /// Steps appended (or taken over).
    size_t StepCount() const { return m_steps; }
    const QString& Path() const { return m_path; }
    /// @brief Ends the journal and removes its files: the work it holds is saved or given up.
    void Discard();

    /// A journal left behind by a program that stopped, with the steps it holds.
    struct Left {
        QString path;
        QString document;  // what its mesh names (a file, or a shape)
        size_t steps = 0;
        qint64 modified = 0;  // seconds since the epoch
    };
    /// @brief The journals in `recoveryFolder` that no running program holds and that hold
    /// steps, newest first.
    static std::vector<Left> Recoverable(const QString& recoveryFolder);
    /// @brief Removes a journal left behind (one the user chose not to recover).
    static void Forget(const QString& recoveryFolder, const QString& journalPath);

private:
    Journal() = default;
    void Open(QIODevice::OpenMode mode);

    QString m_path;  // the journal
    QString m_link;  // its link file in the recovery folder, when it lies beside its document
    std::unique_ptr<QLockFile> m_lock;
    QFile m_file;
    size_t m_steps = 0;
};

}  // namespace corvane_apps
