// The committed mesh, read with code of its own, and the geometric queries
// the mesh checks share (ray crossings, inside tests).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using Vec3d = std::array<double, 3>;

const int MESH_VERTICES = 782;
const int MESH_FACES = 1580;
const size_t MESH_BYTES = size_t(MESH_VERTICES) * 12 * 2 + size_t(MESH_FACES) * 12 * 2;

struct MeshFile {
    bool readOk = false;                          // the file exists and has MESH_BYTES bytes
    size_t size = 0;                              // bytes in the file
    std::vector<std::array<float, 3>> vertices;   // MESH_VERTICES positions
    std::vector<std::array<int32_t, 3>> faces;    // MESH_FACES index triples
    std::vector<std::array<float, 3>> normals;    // MESH_FACES face normals
    std::vector<std::array<float, 3>> texCoords;  // MESH_VERTICES triples
};

// Reads a mesh file; readOk is false if it is missing or not MESH_BYTES long.
MeshFile readMeshFile(const std::string& path);

// assets/mesh.bin, read once per run.
const MeshFile& committedMesh();

// Corner c of triangle f as doubles. Indices must have been checked.
Vec3d corner(const MeshFile& mesh, int f, int c);

// Number of triangles the ray from `origin` along `direction` crosses at a
// positive distance.
int rayCrossings(const MeshFile& mesh, const Vec3d& origin, const Vec3d& direction);

// True where a point lies inside the solid, by the parity of the crossings of
// a ray in a direction no edge or face of the mesh is aligned with.
bool insideSolid(const MeshFile& mesh, const Vec3d& point);
