#pragma once

#include <QString>
#include <QtGlobal>

namespace RavoSync::Test {

// The folder of the small file system this test process was started on by
// runOnSmallFileSystem, or empty in an ordinary run.
QString smallFileSystem();

// Runs the tests of this program that filter names (a --gtest_filter) in a
// child process on a file system of its own of the given size: a tmpfs in a
// user and mount namespace of the child, named to it by smallFileSystem().
// The calling test fails when the child's do, and is skipped where the
// system allows no such namespaces.
void runOnSmallFileSystem(const QString& filter, qint64 bytes);

} // namespace RavoSync::Test
