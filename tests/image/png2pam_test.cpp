// The png2pam tool: a PAM of the picture top row first with the reader's
// pixels, or, for a failed decode, nothing on standard output, the codes on
// standard error and status 1.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

// Runs the tool on file in a folder of this run's own, removed afterwards:
// CTest runs the cases as separate processes side by side.
static ToolRun runTool(const Bytes& file)
{
    ToolRun run;
    std::string pattern = std::string(testing::TempDir()) + "png2pam-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
        return run;
    }
    const std::string dir = pattern + "/";
    const std::string png = dir + "in.png", out = dir + "out", err = dir + "err";
    FILE* f = fopen(png.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f != nullptr) {
        fwrite(file.data(), 1, file.size(), f);
        fclose(f);
    }
    const std::string command = std::string(PNG2PAM_PATH) + " " + png + " >" + out + " 2>" + err;
    const int raw = system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = readAll(out);
    run.err = readAll(err);
    unlink(png.c_str());
    unlink(out.c_str());
    unlink(err.c_str());
    rmdir(pattern.c_str());
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
