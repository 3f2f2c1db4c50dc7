// The shared test fixtures (the Access files in ../shared/fixtures) and the
// one way a test that needs them skips when they are absent:
//
//   VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
//
// Works under Google Test and Qt Test alike; include the framework first.
// The folder comes from VELMOR_FIXTURES_DIR, defined for every test program.
#pragma once

#include <filesystem>
#include <string>

namespace velmor::fixtures {

inline std::string dir()
{
    return VELMOR_FIXTURES_DIR;
}

inline std::string path(const std::string& name)
{
    return dir() + "/" + name;
}

inline bool present(const std::string& name)
{
    return std::filesystem::exists(path(name));
}

inline std::string absentMessage(const std::string& name)
{
    return "test fixture absent (is ../shared/fixtures there?): " + path(name);
}

} // namespace velmor::fixtures

#if defined(GTEST_SKIP)
#define VELMOR_SKIP_WITHOUT_FIXTURE(name)                                                          \
    if (::velmor::fixtures::present(name)) {                                                       \
    } else                                                                                         \
        GTEST_SKIP() << ::velmor::fixtures::absentMessage(name)
#elif defined(QSKIP)
#define VELMOR_SKIP_WITHOUT_FIXTURE(name)                                                          \
    do {                                                                                           \
        if (!::velmor::fixtures::present(name))                                                    \
            QSKIP(::velmor::fixtures::absentMessage(name).c_str());                                \
    } while (0)
#else
#error "include gtest/gtest.h or QTest before testkit/fixtures.h"
#endif
