#include "mesh_file.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

static uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

static float leFloat(const unsigned char* p)
{
    uint32_t bits = le32(p);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

// Möller-Trumbore: distance along the ray to the triangle, or -1 if missed.
static double rayTriangle(const Vec3d& o, const Vec3d& d, const Vec3d& a, const Vec3d& b,
                          const Vec3d& c)
{
    Vec3d e1{b[0] - a[0], b[1] - a[1], b[2] - a[2]}, e2{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    Vec3d p{d[1] * e2[2] - d[2] * e2[1], d[2] * e2[0] - d[0] * e2[2], d[0] * e2[1] - d[1] * e2[0]};
    double det = e1[0] * p[0] + e1[1] * p[1] + e1[2] * p[2];
    if (std::fabs(det) < 1e-14)
        return -1;
    Vec3d t{o[0] - a[0], o[1] - a[1], o[2] - a[2]};
    double u = (t[0] * p[0] + t[1] * p[1] + t[2] * p[2]) / det;
    if (u < 0 || u > 1)
        return -1;
    Vec3d q{t[1] * e1[2] - t[2] * e1[1], t[2] * e1[0] - t[0] * e1[2], t[0] * e1[1] - t[1] * e1[0]};
    double v = (d[0] * q[0] + d[1] * q[1] + d[2] * q[2]) / det;
    if (v < 0 || u + v > 1)
        return -1;
    return (e2[0] * q[0] + e2[1] * q[1] + e2[2] * q[2]) / det;
}

MeshFile readMeshFile(const std::string& path)
{
    MeshFile mesh;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return mesh;
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    mesh.size = bytes.size();
    if (bytes.size() != MESH_BYTES)
        return mesh;
    const unsigned char* p = bytes.data();
    auto triples = [&p](auto& into, int count, auto read) {
        into.resize(count);
        for (auto& element : into)
            for (auto& component : element) {
                component = read(p);
                p += 4;
            }
    };
    triples(mesh.vertices, MESH_VERTICES, leFloat);
    triples(mesh.faces, MESH_FACES, [](const unsigned char* q) { return int32_t(le32(q)); });
    triples(mesh.normals, MESH_FACES, leFloat);
    triples(mesh.texCoords, MESH_VERTICES, leFloat);
    mesh.readOk = true;
    return mesh;
}

const MeshFile& committedMesh()
{
    static const MeshFile mesh = readMeshFile(std::string(WERULE_ASSETS_DIR) + "/mesh.bin");
    return mesh;
}

Vec3d corner(const MeshFile& mesh, int f, int c)
{
    const auto& v = mesh.vertices[size_t(mesh.faces[size_t(f)][size_t(c)])];
    return {v[0], v[1], v[2]};
}

int rayCrossings(const MeshFile& mesh, const Vec3d& origin, const Vec3d& direction)
{
    int crossings = 0;
    for (int f = 0; f < int(mesh.faces.size()); ++f)
        if (rayTriangle(origin, direction, corner(mesh, f, 0), corner(mesh, f, 1),
                        corner(mesh, f, 2)) > 1e-12)
            ++crossings;
    return crossings;
}

bool insideSolid(const MeshFile& mesh, const Vec3d& point)
{
    const Vec3d direction{0.2916734, 0.5391127, 0.7901366};
    return rayCrossings(mesh, point, direction) % 2 == 1;
}
