#include "tarnix/image_codec.h"

#include <dlfcn.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tarnix/error.h"

namespace tarnix {
namespace {

void InThisLibrary() {}

[[noreturn]] void FailLoad(const QString& module, const char* reason) {
    Error::Raise(Error::kCodeInvalidArgument, "tarnix::ImageCodec::Get", "framework/src/image_codec.cpp", __LINE__,
                 QStringLiteral("cannot load the image module %1: %2")
                     .arg(module, QString::fromLocal8Bit(reason ? reason : "unknown reason")));
}

// The module sits beside this library, in the build tree and once installed. It stays loaded
// until the program ends: the image library cannot be unloaded cleanly.
const ImageCodec* LoadCodec() {
    Dl_info here{};
    if (!dladdr(reinterpret_cast<void*>(&InThisLibrary), &here) || !here.dli_fname)
        FailLoad(QStringLiteral(TARNIX_IMAGE_CODEC_MODULE), "the framework's own library cannot be found");
    const QString module = QFileInfo(QFile::decodeName(here.dli_fname))
                               .absoluteDir()
                               .absoluteFilePath(QStringLiteral(TARNIX_IMAGE_CODEC_MODULE));
    void* handle = dlopen(QFile::encodeName(module).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) FailLoad(module, dlerror());
    using Entry = const ImageCodec* (*)();
    const auto entry = reinterpret_cast<Entry>(dlsym(handle, "TarnixImageCodec"));
    if (!entry) FailLoad(module, dlerror());
    return entry();
}

}  // namespace

const ImageCodec& ImageCodec::Get() {
    static const ImageCodec* const codec = LoadCodec();
    return *codec;
}

}  // namespace tarnix
