#pragma once
// Test fixture for the text manifests: a fresh temporary folder, one manifest object, and the
// path of its file in that folder (named by the subclass); LoadText writes a text to that path
// and loads the manifest from it. Not thread-safe; one per test.
#include <gtest/gtest.h>

#include <string>

#include "foundation/Types.h"
#include "tests/kit/TempDir.h"

namespace QuorTest {

template <class Manifest>
class ManifestFileTest : public ::testing::Test {
protected:
    explicit ManifestFileTest(const std::string& fileName) : path(dir / fileName) {}

    HRESULT LoadText(const std::string& text) {
        WriteFile(path, text);
        return manifest.Load(path);
    }

    TempDir dir;
    const std::string path;
    Manifest manifest;
};

}  // namespace QuorTest
