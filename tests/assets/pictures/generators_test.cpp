// The generators remake the committed files byte for byte; the scroller
// text and the font are what the show expects.
#include "png_facts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

static const std::string ASSETS = WERULE_ASSETS_DIR;

namespace {

// A fresh folder under the system's temporary folder, removed at the end.
struct TempFolder {
    std::string path;
    TempFolder()
    {
        char pattern[] = "/tmp/werule-assets-XXXXXX";
        if (mkdtemp(pattern))
            path = pattern;
    }
    ~TempFolder()
    {
        if (!path.empty())
            std::system(("rm -rf '" + path + "'").c_str());
    }
};

}  // namespace

static int run(const std::string& command)
{
    return std::system((command + " > /dev/null").c_str());
}

TEST(Generators, GenPicturesRemakesTheCommittedPicturesByteForByte)
{
    TempFolder out;
    ASSERT_FALSE(out.path.empty());
    ASSERT_EQ(run(std::string(WERULE_GEN_PICTURES) + " '" + ASSETS +
                  "/fonts/LiberationSans-Bold.ttf' '" + out.path + "'"),
              0);
    for (const char* name : {"checker.png", "flare.png", "logo.png", "backdrop.png",
                             "greetings.png", "credits.png", "photo.png"}) {
        std::vector<uint8_t> made = readWholeFile(out.path + "/" + name);
        std::vector<uint8_t> committed = readWholeFile(ASSETS + "/" + name);
        ASSERT_FALSE(made.empty()) << name;
        EXPECT_TRUE(made == committed) << name << " differs: regenerate the assets";
    }
}

TEST(Generators, GenPicturesRefusesAMissingFont)
{
    TempFolder out;
    ASSERT_FALSE(out.path.empty());
    EXPECT_NE(run(std::string(WERULE_GEN_PICTURES) + " /nonexistent/font.ttf '" + out.path +
                  "' 2>/dev/null"),
              0);
}

TEST(Generators, GenScrollerRemakesTheCommittedTextByteForByte)
{
    TempFolder out;
    ASSERT_FALSE(out.path.empty());
    ASSERT_EQ(run(std::string(WERULE_GEN_SCROLLER) + " '" + out.path + "/scroller.txt'"), 0);
    std::vector<uint8_t> made = readWholeFile(out.path + "/scroller.txt");
    EXPECT_TRUE(made == readWholeFile(ASSETS + "/scroller.txt"));
}

TEST(ScrollerText, IsOneLineOf971AllowedCharacters)
{
    std::vector<uint8_t> text = readWholeFile(ASSETS + "/scroller.txt");
    ASSERT_EQ(text.size(), 971u) << "no newline at the end either";
    const std::string marks = " !'(),-.";
    int letters = 0, spaces = 0;
    for (uint8_t c : text) {
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        bool digit = c >= '0' && c <= '9';
        ASSERT_TRUE(letter || digit || marks.find(char(c)) != std::string::npos)
            << "code " << int(c);
        ASSERT_GE(c, 32);
        ASSERT_LE(c, 122);
        letters += letter;
        spaces += c == ' ';
    }
    // Prose: mostly letters, words separated by single spaces.
    EXPECT_GT(letters, 700);
    EXPECT_GT(spaces, 120);
    EXPECT_NE(text.front(), ' ');
    EXPECT_NE(text.back(), ' ');
}

TEST(Font, IsLiberationSansBoldUnmodifiedWithItsLicence)
{
    std::vector<uint8_t> font = readWholeFile(ASSETS + "/fonts/LiberationSans-Bold.ttf");
    ASSERT_GT(font.size(), 100000u);
    std::vector<uint8_t> licence = readWholeFile(ASSETS + "/fonts/LICENSE");
    std::string licenceText(licence.begin(), licence.end());
    EXPECT_NE(licenceText.find("SIL OPEN FONT LICENSE Version 1.1"), std::string::npos);
    EXPECT_NE(licenceText.find("Reserved Font Name Liberation"), std::string::npos);
    std::vector<uint8_t> packaged =
        readWholeFile("/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf");
    if (packaged.empty())
        GTEST_SKIP() << "fonts-liberation2 is not installed";
    EXPECT_TRUE(font == packaged);
}
