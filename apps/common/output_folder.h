#pragma once
// The outputs of a run, replaced all together or not at all. They are written into a staging
// folder inside the output folder (".corvane-partial-PID-XXXXXX", on the same file system, so
// that moving them is a rename), which holds:
//   new/        the files written by this run;
//   previous/   the files they replace, moved aside while the new ones move in;
//   names       the names being replaced, written before the first file moves.
// Commit moves the files each output replaces into previous/, then the new ones into place,
// then deletes previous/; when a move fails, every file goes back where it was. A run killed
// at any moment leaves its staging folder behind: the next run's RecoverInterrupted finds it
// (its process is gone), puts back what previous/ holds, takes away new files that had moved
// in, and deletes the folder, so the output folder is as it was before the killed run.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace corvane_apps {

class OutputFolder {
public:
    /// @brief Makes `folder` (when missing) and a staging folder in it. Throws tarnix::Error*.
    explicit OutputFolder(const QString& folder);
    /// Deletes the staging folder and what is still in it, unless a failed Commit left files
    /// there that it could not put back.
    ~OutputFolder() = default;

    /// Where the output `name` is written before Commit.
    QString Staged(const QString& name) const;
    /// @brief Moves every file written into the staging folder into place. Throws
    /// tarnix::Error*, having put every earlier output back.
    void Commit();

    /// @brief Undoes what runs that were killed while writing into `folder` left behind.
    static void RecoverInterrupted(const QString& folder);

private:
    QString m_folder;
    QTemporaryDir m_staging;
};

}  // namespace corvane_apps
