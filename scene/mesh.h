// The environment-mapped mesh: a closed triangle mesh embedded as constant
// arrays, smooth vertex normals computed at start-up, drawn every frame.
#pragma once

#include <cstdint>

struct Mesh {
    uint8_t loaded;  // 1 once initMesh has filled the record
    uint32_t vertexCount;
    uint32_t faceCount;
    const float* vertices;     // vertexCount * (x, y, z)
    const int32_t* faces;      // faceCount * three vertex indices
    const float* faceNormals;  // faceCount * unit normal, pointing into the solid
    float* vertexNormals;      // vertexCount * unit normal; heap, freed only between shows
    const float* texCoords;    // vertexCount * three coordinates
    float bounds[6];           // xmin, xmax, ymin, ymax, zmin, zmax
};

enum {
    MESH_TABLE_SIZE = 1,
    MESH_VERTEX_COUNT = 782,
    MESH_FACE_COUNT = 1580,
};
extern Mesh meshTable[MESH_TABLE_SIZE];
extern Mesh& sceneMesh;  // meshTable[0], the one the show draws

// Frees the records' vertex normals and empties the records, as a new
// process has them. Main thread, between shows.
void resetMeshState();
// Fills record 0 from the embedded arrays; a blob of the wrong size leaves
// it with no vertices and no faces. Main thread, start-up.
void initMesh();
// Allocates and fills the record's vertexNormals: the normalised sum of the
// face normals around each vertex. Main thread, start-up, after initMesh.
void computeVertexNormals(int index);
// Sphere-map generation for S and T on texture unit 0, switched on only
// around drawMesh. Main thread, start-up, after the textures are uploaded.
void setupSphereMap();
// Sends every triangle with its vertex normals and both units' texture
// coordinates. Main thread, inside the scene pass.
void drawMesh(const Mesh& mesh);
