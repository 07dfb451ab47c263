// gen-music writes the committed module again, byte for byte.
#include "it_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

static std::vector<uint8_t> readAll(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return bytes;
    int c;
    while ((c = std::fgetc(in)) != EOF)
        bytes.push_back(uint8_t(c));
    std::fclose(in);
    return bytes;
}

TEST(MusicGenerator, RemakesTheCommittedModuleExactly)
{
    char dir[] = "/tmp/gen-music-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string out = std::string(dir) + "/music.it";
    std::string command = std::string("'") + WERULE_GEN_MUSIC + "' '" + out + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::vector<uint8_t> made = readAll(out);
    std::vector<uint8_t> committed = readCommittedModule();
    std::remove(out.c_str());
    rmdir(dir);
    ASSERT_FALSE(committed.empty());
    ASSERT_EQ(made.size(), committed.size());
    size_t first = 0;
    while (first < made.size() && made[first] == committed[first])
        first++;
    EXPECT_EQ(first, made.size()) << "first difference at byte " << first;
}

TEST(MusicGenerator, RefusesAMissingOutputPath)
{
    std::string command = std::string("'") + WERULE_GEN_MUSIC + "' >/dev/null 2>&1";
    EXPECT_NE(std::system(command.c_str()), 0);
    command = std::string("'") + WERULE_GEN_MUSIC + "' /nonexistent-dir/music.it >/dev/null 2>&1";
    EXPECT_NE(std::system(command.c_str()), 0);
}
