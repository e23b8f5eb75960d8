// Keeps the object set non-empty until the library's first sources land.
namespace zarvo {
namespace {
[[maybe_unused]] constexpr int placeholder = 0;
}
} // namespace zarvo
