// Paths of the shared test fixtures; tests that need them skip when the
// fixtures folder is absent.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifndef VELMOR_FIXTURES_DIR
#define VELMOR_FIXTURES_DIR ""
#endif

inline std::string fixture(const std::string& name)
{
    return std::string(VELMOR_FIXTURES_DIR) + "/" + name;
}

#define REQUIRE_FIXTURE(name)                                                                        \
    do {                                                                                             \
        if (!std::filesystem::exists(fixture(name)))                                                 \
            GTEST_SKIP() << "fixture absente (dossier VELMOR_FIXTURES_DIR) : " << fixture(name);   \
    } while (0)
