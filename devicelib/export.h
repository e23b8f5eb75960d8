#pragma once

// zarvo20 is built with hidden visibility; this marks its public interface.
// Exported polymorphic classes keep an out-of-line virtual destructor so their
// vtable and type information live once, inside the library, and errors thrown
// here can be caught by class in client code.
#define ZARVO_EXPORT __attribute__((visibility("default")))
