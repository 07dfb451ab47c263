// The png2pam tool: a PAM of the picture top row first with the reader's
// pixels, or, for a failed decode, nothing on standard output, the codes on
// standard error and status 1.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "image/png.h"
#include "tests/image/png_maker.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

}  // namespace

static std::string readAll(const std::string& path)
{
    std::string text;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr)
        return text;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    fclose(f);
    return text;
}

static ToolRun runTool(const Bytes& file)
{
    const std::string dir = testing::TempDir();
    const std::string png = dir + "png2pam-in.png", out = dir + "png2pam-out",
                      err = dir + "png2pam-err";
    FILE* f = fopen(png.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    fwrite(file.data(), 1, file.size(), f);
    fclose(f);
    const std::string command = std::string(PNG2PAM_PATH) + " " + png + " >" + out + " 2>" + err;
    ToolRun run;
    const int raw = system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = readAll(out);
    run.err = readAll(err);
    return run;
}

TEST(Png2pam, WritesTheReadersPixelsTopRowFirst)
{
    const PngPicture p = makePicture(5, 3, 2, PictureKind::Noise, 6);
    const Bytes rows = filterScanlines(p, FILTERS_CYCLE, 1);
    const ToolRun run = runTool(makePngFile(p, zlibCompress(rows.data(), rows.size(), {})));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string header =
        "P7\nWIDTH 5\nHEIGHT 3\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    ASSERT_EQ(run.out.substr(0, header.size()), header);
    const Bytes bottomFirst = expectedPixels(p);
    Bytes topFirst;
    for (int r = 2; r >= 0; --r) {
        topFirst.insert(topFirst.end(), bottomFirst.begin() + r * 20,
                        bottomFirst.begin() + (r + 1) * 20);
    }
    EXPECT_EQ(Bytes(run.out.begin() + static_cast<long>(header.size()), run.out.end()), topFirst);
}

TEST(Png2pam, FailedDecodeWritesNothingAndTheCodes)
{
    Bytes file = signatureBytes();
    appendChunk(file, "IHDR", headerData(2, 2, 16, 2, 1));
    appendChunk(file, "IEND", {});
    const ToolRun run = runTool(file);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(" 4 4"), std::string::npos) << run.err;
    EXPECT_EQ(runTool({1, 2, 3}).status, 1);
}
