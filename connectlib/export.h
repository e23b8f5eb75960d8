#pragma once

// ktlib is built with hidden visibility; this marks its public interface.
#define KTLIB_EXPORT __attribute__((visibility("default")))
