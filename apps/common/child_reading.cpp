// Reading in a child process: the reader runs in a fork of this process, which sends the mesh
// back through a pipe, while this process watches the time it takes and the memory it holds
// and stops it when either passes what a file of its size may take. A crash of the reader
// ends the child only. The child's standard output and error go nowhere, so a library's own
// logging never reaches the terminal.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <new>

#include <QDataStream>
#include <QFile>
#include <QFileInfo>

#include "errors.h"
#include "mesh_formats.h"

namespace corvane_apps {
namespace {

// What the child sends first: a mesh follows, or a fault's text.
enum Outcome : quint8 { kMesh = 1, kFault = 2 };

template <typename T>
void Put(QDataStream& out, const std::vector<T>& values) {
    static_assert(std::is_trivially_copyable_v<T>);
    out << quint64(values.size());
    out.writeRawData(reinterpret_cast<const char*>(values.data()), int(values.size() * sizeof(T)));
}

template <typename T>
void Take(QDataStream& in, std::vector<T>& values, qint64 bytesLeft) {
    quint64 count = 0;
    in >> count;
    if (count > quint64(bytesLeft) / sizeof(T)) {
        in.setStatus(QDataStream::ReadCorruptData);
        return;
    }
    values.resize(count);
    in.readRawData(reinterpret_cast<char*>(values.data()), int(count * sizeof(T)));
}

QByteArray Serialised(const MeshFile& file) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    const tarnix::PolygonMesh& polygons = file.polygons;
    out << quint8(kMesh);
    Put(out, polygons.positions);
    Put(out, polygons.uvs);
    Put(out, polygons.faceVertices);
    Put(out, polygons.faceUVs);
    Put(out, polygons.faceSizes);
    Put(out, polygons.faceTags);
    out << quint64(file.parts.size());
    for (const FacePart& part : file.parts) out << part.group << part.material;
    out << file.materialLibrary << file.pointsAndLinesLeftOut << file.warnings;
    return bytes;
}

MeshFile Deserialised(const QByteArray& bytes, const QString& path) {
    QDataStream in(bytes);
    quint8 outcome = 0;
    in >> outcome;
    if (outcome == kFault) {
        QString text;
        in >> text;
        Fail(text);
    }
    MeshFile file;
    tarnix::PolygonMesh& polygons = file.polygons;
    Take(in, polygons.positions, bytes.size());
    Take(in, polygons.uvs, bytes.size());
    Take(in, polygons.faceVertices, bytes.size());
    Take(in, polygons.faceUVs, bytes.size());
    Take(in, polygons.faceSizes, bytes.size());
    Take(in, polygons.faceTags, bytes.size());
    quint64 parts = 0;
    in >> parts;
    for (quint64 i = 0; i < parts && in.status() == QDataStream::Ok; ++i) {
        FacePart part;
        in >> part.group >> part.material;
        file.parts.push_back(part);
    }
    in >> file.materialLibrary >> file.pointsAndLinesLeftOut >> file.warnings;
    if (outcome != kMesh || in.status() != QDataStream::Ok)
        Fail(QStringLiteral("%1: the reader gave back no mesh").arg(path));
    return file;
}

void WriteAll(int fd, const QByteArray& bytes) {
    for (qint64 at = 0; at < bytes.size();) {
        const ssize_t written = write(fd, bytes.constData() + at, size_t(bytes.size() - at));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        at += written;
    }
}

// Set by a sanitizer runtime, when there is one: what it calls before a process dies of a fault
// it found (a fuzzer's hook saves the input then).
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

[[noreturn]] void ChildReads(int fd, const std::function<MeshFile()>& read) {
    // A fault of the reader ends this process as the system ends it, reported by the parent;
    // no handler of the parent's (a fuzzer's, a sanitizer's) runs for it here.
    for (int fatal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(fatal, SIG_DFL);
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(nullptr);
    const int nowhere = open("/dev/null", O_WRONLY);
    if (nowhere >= 0) {
        dup2(nowhere, STDOUT_FILENO);
        dup2(nowhere, STDERR_FILENO);
    }
    QByteArray reply;
    try {
        reply = Serialised(read());
    } catch (tarnix::Error* raised) {
        const OwnedError error(raised);
        QDataStream out(&reply, QIODevice::WriteOnly);
        out << quint8(kFault) << error.Message();
    } catch (...) {
        // Out of memory, or anything else the library threw: the parent names it.
    }
    WriteAll(fd, reply);
    // Skips the parent's exit handlers (and leak checks): this process only read a file.
    _exit(0);
}

qint64 ResidentBytes(pid_t child) {
    QFile statm(QStringLiteral("/proc/%1/statm").arg(child));
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

}  // namespace

ReadingBudget ReadingBudget::For(qint64 fileBytes) {
    // Measured: Assimp reads a glTF or FBX file in well under a second per megabyte, holding
    // less than 30 times its size; the budget leaves room for slow machines and sanitizers.
    return {10.0 + 2.0 * double(fileBytes) / double(1 << 20), (qint64(1) << 30) + 64 * fileBytes};
}

MeshFile ReadInChildProcess(const QString& path, const ReadingBudget& budget, const std::function<MeshFile()>& read) {
    // The child starts with this process's pages (shared until written): only what it adds
    // counts against the budget.
    const qint64 inherited = ResidentBytes(getpid());
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        Fail(QStringLiteral("%1: cannot start the reader: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    const pid_t child = fork();
    if (child < 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        Fail(QStringLiteral("%1: cannot start the reader: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    if (child == 0) {
        close(pipeEnds[0]);
        ChildReads(pipeEnds[1], read);
    }
    close(pipeEnds[1]);

    const auto start = std::chrono::steady_clock::now();
    QByteArray reply;
    QString stopped;
    char chunk[65536];
    for (;;) {
        pollfd readable{pipeEnds[0], POLLIN, 0};
        const int ready = poll(&readable, 1, 50);
        if (ready > 0) {
            const ssize_t got = ::read(pipeEnds[0], chunk, sizeof chunk);
            if (got == 0) break;
            if (got > 0) reply.append(chunk, int(got));
            else if (errno != EINTR) break;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds > budget.seconds) {
            stopped = QStringLiteral("%1: reading was stopped after %2 s, the most a file of its size may take")
                          .arg(path)
                          .arg(budget.seconds, 0, 'f', 0);
        } else if (ResidentBytes(child) - inherited > budget.bytes) {
            stopped =
                QStringLiteral("%1: reading was stopped at %2 MiB of memory, the most a file of its size may take")
                    .arg(path)
                    .arg(budget.bytes >> 20);
        }
        if (!stopped.isEmpty()) {
            kill(child, SIGKILL);
            break;
        }
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!stopped.isEmpty()) Fail(stopped);
    if (WIFSIGNALED(status))
        Fail(QStringLiteral("%1: the file could not be read: the reader failed on it (signal %2)")
                 .arg(path)
                 .arg(WTERMSIG(status)));
    if (reply.isEmpty() || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Fail(QStringLiteral("%1: the file could not be read: the reader failed on it").arg(path));
    return Deserialised(reply, path);
}

}  // namespace corvane_apps
