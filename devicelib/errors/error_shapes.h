#pragma once

// Declaration helpers for the concrete error classes. Every concrete class
// offers some of six constructor shapes:
//   1 ()                  2 (cause)
//   3 (const char* d)     4 (const std::string& d)
//   5 (const char* d, cause)    6 (const std::string& d, cause)
// A cause is accepted and never kept. A null detail counts as empty.

#include <exception>
#include <string>

// Shapes 1 and 2.
#define ZARVO_ERROR_SHAPES_PLAIN(cls)                                                              \
    cls();                                                                                         \
    explicit cls(const std::exception& cause);

// Shapes 3 and 5.
#define ZARVO_ERROR_SHAPES_CSTR(cls)                                                               \
    explicit cls(const char* detail);                                                              \
    cls(const char* detail, const std::exception& cause);

// Shapes 4 and 6.
#define ZARVO_ERROR_SHAPES_STRING(cls)                                                             \
    explicit cls(const std::string& detail);                                                       \
    cls(const std::string& detail, const std::exception& cause);

// Shapes 1 to 6.
#define ZARVO_ERROR_SHAPES_ALL(cls)                                                                \
    ZARVO_ERROR_SHAPES_PLAIN(cls)                                                                  \
    ZARVO_ERROR_SHAPES_CSTR(cls)                                                                   \
    ZARVO_ERROR_SHAPES_STRING(cls)

// What every concrete class overrides; the destructor is out of line so the
// vtable and type information live once, inside the library.
#define ZARVO_ERROR_CONCRETE(cls)                                                                  \
    ~cls() override;                                                                               \
    const std::exception& std_base() const override;                                               \
    std::exception& std_base() override;
