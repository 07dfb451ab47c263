#include "scene/mesh.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstdlib>

#include "app/extensions.h"
#include "assets/assets.h"

// ------------------------------------------------------------------ state
// Main thread only. Zero until initMesh; the normals block lives until the
// show ends (for the intro, the life of the process).
Mesh meshTable[MESH_TABLE_SIZE];
Mesh& sceneMesh = meshTable[0];

// The embedded blob: vertices, faces, face normals, texture coordinates,
// each element three 32-bit little-endian values.
static const uint32_t VERTEX_BYTES = MESH_VERTEX_COUNT * 3 * 4;  // 9384
static const uint32_t FACE_BYTES = MESH_FACE_COUNT * 3 * 4;      // 18960
static const uint32_t MESH_BLOB_BYTES = 2 * VERTEX_BYTES + 2 * FACE_BYTES;

void resetMeshState()
{
    for (Mesh& mesh : meshTable) {
        free(mesh.vertexNormals);
        mesh = Mesh();
    }
}

// Main thread, start-up.
void initMesh()
{
    Mesh& mesh = meshTable[0];
    mesh.loaded = 1;
    if (assetMeshBinSize != MESH_BLOB_BYTES) {
        return;  // nothing to draw
    }
    const unsigned char* blob = assetMeshBin;
    mesh.vertexCount = MESH_VERTEX_COUNT;
    mesh.faceCount = MESH_FACE_COUNT;
    mesh.vertices = reinterpret_cast<const float*>(blob);
    mesh.faces = reinterpret_cast<const int32_t*>(blob + VERTEX_BYTES);
    mesh.faceNormals = reinterpret_cast<const float*>(blob + VERTEX_BYTES + FACE_BYTES);
    mesh.texCoords = reinterpret_cast<const float*>(blob + VERTEX_BYTES + 2 * FACE_BYTES);
    for (uint32_t corner = 0; corner < MESH_FACE_COUNT * 3; ++corner) {
        const int32_t vertex = mesh.faces[corner];
        if (vertex < 0 || vertex >= MESH_VERTEX_COUNT) {
            mesh.faceCount = 0;  // a corner outside the vertex array: draw nothing
        }
    }
    for (int axis = 0; axis < 3; ++axis) {
        mesh.bounds[2 * axis] = mesh.vertices[axis];
        mesh.bounds[2 * axis + 1] = mesh.vertices[axis];
    }
    for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
        for (int axis = 0; axis < 3; ++axis) {
            const float value = mesh.vertices[3 * i + axis];
            if (value < mesh.bounds[2 * axis]) {
                mesh.bounds[2 * axis] = value;
            }
            if (value > mesh.bounds[2 * axis + 1]) {
                mesh.bounds[2 * axis + 1] = value;
            }
        }
    }
}

// Main thread, start-up.
void computeVertexNormals(int index)
{
    Mesh& mesh = meshTable[index];
    float* normals = static_cast<float*>(calloc(mesh.vertexCount * 3 + 1, sizeof(float)));
    mesh.vertexNormals = normals;
    if (normals == nullptr) {
        mesh.faceCount = 0;  // without normals the mesh is not drawn
        return;
    }
    for (uint32_t face = 0; face < mesh.faceCount; ++face) {
        for (int corner = 0; corner < 3; ++corner) {
            const int32_t vertex = mesh.faces[3 * face + corner];
            for (int axis = 0; axis < 3; ++axis) {
                normals[3 * vertex + axis] += mesh.faceNormals[3 * face + axis];
            }
        }
    }
    for (uint32_t vertex = 0; vertex < mesh.vertexCount; ++vertex) {
        float* n = normals + 3 * vertex;
        const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        const float scale = 1 / length;
        n[0] *= scale;
        n[1] *= scale;
        n[2] *= scale;
    }
}

// Main thread, start-up.
void setupSphereMap()
{
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
}

// Main thread.
void drawMesh(const Mesh& mesh)
{
    // Looked up here, outside glBegin/glEnd, where the context can tell
    // whether it has the extension; a no-op once resolved.
    resolveExtension(EXT_MULTI_TEX_COORD_3FV_ARB);
    glPushMatrix();
    glBegin(GL_TRIANGLES);
    for (uint32_t corner = 0; corner < mesh.faceCount * 3; ++corner) {
        const int32_t i = mesh.faces[corner];
        glNormal3fv(mesh.vertexNormals + 3 * i);
        callMultiTexCoord3fvARB(GL_TEXTURE0_ARB, mesh.texCoords + 3 * i);
        callMultiTexCoord3fvARB(GL_TEXTURE1_ARB, mesh.texCoords + 3 * i);
        glVertex3fv(mesh.vertices + 3 * i);
    }
    glEnd();
    glPopMatrix();
}
