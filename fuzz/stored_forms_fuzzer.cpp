// libFuzzer target: the stored forms read through tarnix::Stream, of the Corvane brush and of
// a PatchMap node, from the module as a host loads it, and of a Geometry (a project's mesh).
// The first byte picks the node (its value modulo 3); the rest is the stream. Data either loads or is refused with one
// tarnix::Error; what loads is stored again, and that stored form must load and store to the same bytes.

#include <cstddef>
#include <cstdint>
#include <memory>

#include <QByteArray>
#include <QString>

#include "tarnix/class_desc.h"
#include "tarnix/error.h"
#include "tarnix/geometry.h"
#include "tarnix/kernel.h"
#include "tarnix/module_loader.h"
#include "tarnix/node.h"
#include "tarnix/stream.h"

namespace {

const tarnix::ClassDesc* g_classes[3];

std::unique_ptr<tarnix::Node> Make(int kind) { return std::unique_ptr<tarnix::Node>(g_classes[kind]->Create(1)); }

QByteArray Stored(tarnix::Node& node) {
    tarnix::Stream stream;
    stream.StoreObject(node);
    return stream.Data();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tarnix::Kernel::SetLogEcho(false);
    // The module (and Velder, which it needs) stays loaded for the whole run.
    static tarnix::LoadedModule corvane(QStringLiteral(CORVANE_PLUGIN_DIRECTORY "/libCorvane.so"));
    g_classes[0] = tarnix::ClassDesc::Find(QStringLiteral("Corvane"));
    g_classes[1] = tarnix::ClassDesc::Find(QStringLiteral("PatchMap"));
    g_classes[2] = tarnix::Geometry::StaticClass();
    if (!g_classes[0] || !g_classes[1]) __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int kind = data[0] % 3;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), int(size - 1));
    const std::unique_ptr<tarnix::Node> node = Make(kind);
    try {
        tarnix::Stream stream(bytes);
        stream.LoadObject(*node);
    } catch (tarnix::Error* error) {
        tarnix::Error::Dispose(error);
        return 0;
    }
    const QByteArray once = Stored(*node);
    const std::unique_ptr<tarnix::Node> again = Make(kind);
    try {
        tarnix::Stream stream(once);
        stream.LoadObject(*again);
    } catch (tarnix::Error* error) {
        __builtin_trap();  // what was stored must load
    }
    if (Stored(*again) != once) __builtin_trap();
    return 0;
}
