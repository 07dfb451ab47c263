// The release build's own arc4random (platform/sdl/arc4random.cpp), linked
// as the release links it: the object itself on the link line, so that it
// rather than glibc's answers the C++ library's calls.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <set>

// A function of the test program itself, to tell which file code lies in.
static void inTheProgram()
{}

TEST(Arc4random, IsTheProgramsOwnAndHidden)
{
    Dl_info own{}, program{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&arc4random), &own), 0);
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&inTheProgram), &program), 0);
    EXPECT_STREQ(own.dli_fname, program.dli_fname) << "arc4random came from " << own.dli_fname;
    // Not exported: the libraries the program loads keep glibc's.
    EXPECT_NE(dlsym(RTLD_DEFAULT, "arc4random"), reinterpret_cast<void*>(&arc4random));
}

TEST(Arc4random, EveryBitTakesBothValuesAndNoValueRepeats)
{
    uint32_t seenOne = 0, seenZero = 0;
    std::set<uint32_t> values;
    for (int i = 0; i < 256; i++) {
        const uint32_t value = arc4random();
        seenOne |= value;
        seenZero |= ~value;
        values.insert(value);
    }
    EXPECT_EQ(seenOne, 0xffffffffu);
    EXPECT_EQ(seenZero, 0xffffffffu);
    // 256 draws of 32 bits repeat one with a chance of 8e-6.
    EXPECT_EQ(values.size(), 256u);
}
