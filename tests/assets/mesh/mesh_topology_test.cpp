// Layout and connectivity of the committed mesh: sizes, indices, a closed
// consistently oriented surface of genus 5 in one piece, and the generator
// that remakes the file.
#include "mesh_file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <numeric>
#include <set>
#include <utility>

#include <sys/wait.h>

static bool indicesInRange(const MeshFile& mesh)
{
    for (const auto& f : mesh.faces)
        for (int32_t i : f)
            if (i < 0 || i >= MESH_VERTICES)
                return false;
    return true;
}

// Uses of each directed edge (from, to).
static std::map<std::pair<int, int>, int> directedEdges(const MeshFile& mesh)
{
    std::map<std::pair<int, int>, int> uses;
    for (const auto& f : mesh.faces)
        for (int c = 0; c < 3; ++c)
            ++uses[{f[size_t(c)], f[size_t((c + 1) % 3)]}];
    return uses;
}

TEST(MeshFile, HasTheFourArraysAndNothingElse)
{
    const MeshFile& mesh = committedMesh();
    EXPECT_EQ(mesh.size, size_t(56688));
    ASSERT_TRUE(mesh.readOk);
    EXPECT_EQ(mesh.vertices.size(), size_t(782));
    EXPECT_EQ(mesh.faces.size(), size_t(1580));
}

TEST(MeshTopology, EveryIndexNamesAVertexAndEveryVertexIsUsed)
{
    const MeshFile& mesh = committedMesh();
    ASSERT_TRUE(mesh.readOk);
    ASSERT_TRUE(indicesInRange(mesh));
    std::vector<int> uses(MESH_VERTICES, 0);
    for (const auto& f : mesh.faces)
        for (int32_t i : f)
            ++uses[size_t(i)];
    for (int v = 0; v < MESH_VERTICES; ++v)
        EXPECT_GT(uses[size_t(v)], 0) << "vertex " << v;
}

TEST(MeshTopology, NoTriangleRepeatsACornerOrAnotherTriangle)
{
    const MeshFile& mesh = committedMesh();
    ASSERT_TRUE(mesh.readOk);
    std::set<std::array<int32_t, 3>> seen;
    for (int f = 0; f < MESH_FACES; ++f) {
        auto sorted = mesh.faces[size_t(f)];
        std::sort(sorted.begin(), sorted.end());
        EXPECT_TRUE(sorted[0] != sorted[1] && sorted[1] != sorted[2]) << "triangle " << f;
        EXPECT_TRUE(seen.insert(sorted).second) << "triangle " << f << " repeats an earlier one";
    }
}

TEST(MeshTopology, EveryEdgeJoinsTwoTrianglesRunningOppositeWays)
{
    const MeshFile& mesh = committedMesh();
    ASSERT_TRUE(mesh.readOk);
    ASSERT_TRUE(indicesInRange(mesh));
    auto uses = directedEdges(mesh);
    std::set<std::pair<int, int>> undirected;
    for (const auto& [edge, count] : uses) {
        EXPECT_EQ(count, 1) << "edge " << edge.first << "-" << edge.second
                            << " runs the same way twice";
        auto twin = uses.find({edge.second, edge.first});
        EXPECT_TRUE(twin != uses.end())
            << "edge " << edge.first << "-" << edge.second << " is a border";
        undirected.insert({std::min(edge.first, edge.second), std::max(edge.first, edge.second)});
    }
    EXPECT_EQ(undirected.size(), size_t(2370));
    EXPECT_EQ(uses.size(), size_t(2 * 2370));
}

TEST(MeshTopology, IsOnePieceOfGenusFive)
{
    const MeshFile& mesh = committedMesh();
    ASSERT_TRUE(mesh.readOk);
    ASSERT_TRUE(indicesInRange(mesh));
    std::set<std::pair<int, int>> edges;
    std::vector<int> parent(MESH_VERTICES);
    std::iota(parent.begin(), parent.end(), 0);
    auto root = [&parent](int v) {
        while (parent[size_t(v)] != v)
            v = parent[size_t(v)] = parent[size_t(parent[size_t(v)])];
        return v;
    };
    for (const auto& f : mesh.faces)
        for (int c = 0; c < 3; ++c) {
            int a = f[size_t(c)], b = f[size_t((c + 1) % 3)];
            edges.insert({std::min(a, b), std::max(a, b)});
            parent[size_t(root(a))] = root(b);
        }
    int euler = MESH_VERTICES - int(edges.size()) + MESH_FACES;
    EXPECT_EQ(euler, -8);  // 2 - 2 * genus
    std::set<int> pieces;
    for (int v = 0; v < MESH_VERTICES; ++v)
        pieces.insert(root(v));
    EXPECT_EQ(pieces.size(), size_t(1));
}

TEST(MeshGenerator, RemakesTheCommittedFileByteForByte)
{
    std::string folder = testing::TempDir() + "werule-mesh-XXXXXX";
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    std::string path = folder + "/mesh_regenerated.bin";
    std::string command = std::string(WERULE_GEN_MESH) + " " + path;
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream made(path, std::ios::binary),
        committed(std::string(WERULE_ASSETS_DIR) + "/mesh.bin", std::ios::binary);
    std::string madeBytes((std::istreambuf_iterator<char>(made)), std::istreambuf_iterator<char>());
    std::string committedBytes((std::istreambuf_iterator<char>(committed)),
                               std::istreambuf_iterator<char>());
    EXPECT_EQ(madeBytes.size(), MESH_BYTES);
    EXPECT_TRUE(madeBytes == committedBytes) << "run gen-mesh assets/mesh.bin";
    std::remove(path.c_str());
    rmdir(folder.c_str());
}

TEST(MeshGenerator, RefusesAMissingOutputName)
{
    std::string command = std::string(WERULE_GEN_MESH) + " 2>/dev/null";
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0);
}
