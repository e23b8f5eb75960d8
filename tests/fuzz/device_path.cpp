// Device paths: normalisation is idempotent and leaves no empty component,
// and the path queries hold on whatever text a caller or a listing gives.
#include "devicelib/values/path.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string normal = zarvo::path::normalize(text);
    if (zarvo::path::normalize(normal) != normal)
        std::abort();
    if (!text.empty() && (normal.empty() || normal.find("//") != std::string::npos ||
                          (normal.size() > 1 && normal.back() == '/')))
        std::abort();

    zarvo::path p(text);
    (void)p.is_root();
    (void)p.is_absolute();
    (void)p.is_entry();
    const zarvo::path parent = p.has_parent() ? p.parent() : zarvo::path();
    const auto base = p.basename();
    zarvo::path joined(parent);
    joined /= base;
    zarvo::path::normalize(p);
    (void)zarvo::entry(zarvo::entry::file, base);
    return 0;
}
