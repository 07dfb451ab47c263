// gen-mesh: writes the show's solid, a cube pierced by three round tunnels.
//
//   gen-mesh OUTFILE
//
// The file holds four arrays of 32-bit little-endian values, one after the
// other: vertices (x, y, z floats), triangles (three 32-bit vertex indices),
// one unit face normal per triangle (pointing into the solid, the corners
// running counter-clockwise around it), and one texture coordinate triple per
// vertex (each component between 0.0005 and 0.9995).
//
// The shape is built in cell units: the cube spans -5 to 5 on every axis, so
// each outer face is a 10 by 10 grid of unit cells. Each axis carries a tunnel
// of radius 2.5 cells, a prism over a regular 16-gon. The six tunnel walls
// meet where the cylinders of two axes cross: a ring corner of angle a on one
// axis ends at height 2.5 * max(|cos a|, |sin a|), which is also a ring corner
// of the crossing tunnel, so the walls share their end vertices exactly and
// three of them meet at the eight points (h, h, h) with h = 2.5 / sqrt 2.
//
// An outer face: the unit cells outside the square [-3, 3]^2 are split into
// two triangles each (diagonals alternating, so interior grid points have
// four or eight triangles); the four corner cells of that square keep the
// triangle outside their diagonal; the band between the resulting 20-point
// loop and the tunnel's 16-gon rim is zipped by angle. A tunnel wall: quads
// between the rim at 5, rings at 4 and 3, and the crossing curve.
//
// A closed surface of genus 5 satisfies V = F / 2 - 8. The construction gives
// 784 vertices and 1584 triangles; on the two faces perpendicular to y one
// grid point with four triangles around it is left out and its diamond split
// into two triangles, which gives 782 vertices and 1580 triangles.
//
// Every step is deterministic; the same binary always writes the same bytes.
// The tool checks its own result (counts, closed and consistently oriented,
// no degenerate triangle) and writes nothing when a check fails.
// Single-threaded.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

static const int MESH_VERTEX_COUNT = 782;
static const int MESH_FACE_COUNT = 1580;
static const int MESH_MAX_VERTICES = 1024;
static const int MESH_MAX_FACES = 2048;

static const int CUBE_HALF_CELLS = 5;     // cells from the centre to an outer face
static const int LOOP_HALF_CELLS = 3;     // half side of the square cut out of each face
static const double TUNNEL_RADIUS = 2.5;  // cells
static const int RING_CORNERS = 16;       // corners of the tunnel cross-section
static const double MESH_PI = 3.14159265358979323846;

// Where cell coordinates -5 and 5 land, per axis (world units).
static const double BOUND_MIN[3] = {-0.65789002, -0.65788901, -0.65789002};
static const double BOUND_MAX[3] = {0.65789002, 0.65789098, 0.65789002};

static const double TEXCOORD_LOW = 0.0005;
static const double TEXCOORD_HIGH = 0.9995;

// The grid point of an outer face left out to reach the exact counts, in that
// face's (u, v) cell coordinates; only the faces perpendicular to y.
static const int SPARE_POINT_AXIS = 1;
static const int SPARE_POINT_U = 1;
static const int SPARE_POINT_V = 4;

namespace {

struct Vec3 {
    double x[3];
};

}  // namespace

// The mesh being built, in cell units until written.
static Vec3 vertices[MESH_MAX_VERTICES];  // cells
static int vertexCount = 0;
static int faces[MESH_MAX_FACES][3];  // indices into vertices
static int faceCount = 0;
static bool buildFailed = false;  // set by the first broken invariant

static void fail(const char* what)
{
    if (!buildFailed)
        std::fprintf(stderr, "gen-mesh: %s\n", what);
    buildFailed = true;
}

static Vec3 sub(const Vec3& a, const Vec3& b)
{
    return {{a.x[0] - b.x[0], a.x[1] - b.x[1], a.x[2] - b.x[2]}};
}

static Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {{a.x[1] * b.x[2] - a.x[2] * b.x[1], a.x[2] * b.x[0] - a.x[0] * b.x[2],
             a.x[0] * b.x[1] - a.x[1] * b.x[0]}};
}

static double dot(const Vec3& a, const Vec3& b)
{
    return a.x[0] * b.x[0] + a.x[1] * b.x[1] + a.x[2] * b.x[2];
}

// Cosine of corner k of the ring (angle k * 22.5 degrees). The values come
// from one table of the first quadrant, so that a corner reached from two
// tunnels has bit-identical coordinates.
static double ringCos(int k)
{
    static const double quadrant[5] = {1.0, std::cos(MESH_PI / 8), std::sqrt(0.5),
                                       std::sin(MESH_PI / 8), 0.0};
    k = ((k % RING_CORNERS) + RING_CORNERS) % RING_CORNERS;
    if (k <= 4)
        return quadrant[k];
    if (k <= 8)
        return -quadrant[8 - k];
    if (k <= 12)
        return -quadrant[k - 8];
    return quadrant[16 - k];
}

static double ringSin(int k)
{
    return ringCos(k - 4);
}

// A point in the frame of one axis: w along the axis (negated for the
// negative side), u and v along the next two axes in cyclic order.
static Vec3 framePoint(int axis, int side, double u, double v, double w)
{
    Vec3 p;
    p.x[axis] = side * w;
    p.x[(axis + 1) % 3] = u;
    p.x[(axis + 2) % 3] = v;
    return p;
}

static int findOrAddVertex(const Vec3& p)
{
    for (int i = 0; i < vertexCount; ++i)
        if (vertices[i].x[0] == p.x[0] && vertices[i].x[1] == p.x[1] && vertices[i].x[2] == p.x[2])
            return i;
    if (vertexCount == MESH_MAX_VERTICES) {
        fail("vertex table full");
        return 0;
    }
    vertices[vertexCount] = p;
    return vertexCount++;
}

// Adds a triangle, ordered so that its corners run counter-clockwise around
// `inward`, the direction into the solid.
static void addTriangle(const Vec3& a, Vec3 b, Vec3 c, const Vec3& inward)
{
    Vec3 normal = cross(sub(b, a), sub(c, a));
    double length = std::sqrt(dot(normal, normal));
    if (length < 1e-6) {
        fail("degenerate triangle");
        return;
    }
    double facing = dot(normal, inward) / (length * std::sqrt(dot(inward, inward)));
    if (std::fabs(facing) < 0.1) {
        fail("triangle nearly parallel to its inward direction");
        return;
    }
    if (facing < 0) {
        Vec3 swap = b;
        b = c;
        c = swap;
    }
    if (faceCount == MESH_MAX_FACES) {
        fail("face table full");
        return;
    }
    faces[faceCount][0] = findOrAddVertex(a);
    faces[faceCount][1] = findOrAddVertex(b);
    faces[faceCount][2] = findOrAddVertex(c);
    ++faceCount;
}

static bool isSparePoint(int axis, int u, int v)
{
    return axis == SPARE_POINT_AXIS && u == SPARE_POINT_U && v == SPARE_POINT_V;
}

// One unit cell of an outer face, lower corner (i, j), split along the
// diagonal through its corner of even coordinate sum. Triangles touching the
// face's spare point are left to addSpareDiamond.
static void addGridCell(int axis, int side, int i, int j)
{
    const Vec3 inward = framePoint(axis, side, 0, 0, -1);
    const double w = CUBE_HALF_CELLS;
    int corner[4][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}};
    int tri[2][3];
    if (((i + j) & 1) == 0) {
        int t[2][3] = {{0, 1, 2}, {0, 2, 3}};
        std::memcpy(tri, t, sizeof tri);
    } else {
        int t[2][3] = {{0, 1, 3}, {1, 2, 3}};
        std::memcpy(tri, t, sizeof tri);
    }
    for (auto& t : tri) {
        bool touchesSpare = false;
        for (int c : t)
            touchesSpare = touchesSpare || isSparePoint(axis, corner[c][0], corner[c][1]);
        if (touchesSpare)
            continue;
        addTriangle(framePoint(axis, side, corner[t[0]][0], corner[t[0]][1], w),
                    framePoint(axis, side, corner[t[1]][0], corner[t[1]][1], w),
                    framePoint(axis, side, corner[t[2]][0], corner[t[2]][1], w), inward);
    }
}

// The two triangles that replace the four around a face's spare point: its
// four grid neighbours form a diamond, split through the spare point's place.
static void addSpareDiamond(int axis, int side)
{
    const Vec3 inward = framePoint(axis, side, 0, 0, -1);
    const double w = CUBE_HALF_CELLS;
    const int u = SPARE_POINT_U, v = SPARE_POINT_V;
    if (((u + v) & 1) == 0)
        fail("spare point has diagonals through it");
    Vec3 left = framePoint(axis, side, u - 1, v, w), right = framePoint(axis, side, u + 1, v, w);
    addTriangle(left, right, framePoint(axis, side, u, v - 1, w), inward);
    addTriangle(left, right, framePoint(axis, side, u, v + 1, w), inward);
}

static double angleOf(double u, double v)
{
    double a = std::atan2(v, u);
    return a < 0 ? a + 2 * MESH_PI : a;
}

// One outer face: the grid cells, the four half cells at the corners of the
// cut-out square, and the band between the resulting loop and the rim.
static void addOuterFace(int axis, int side)
{
    const Vec3 inward = framePoint(axis, side, 0, 0, -1);
    const double w = CUBE_HALF_CELLS;
    const int n = LOOP_HALF_CELLS;
    for (int i = -CUBE_HALF_CELLS; i < CUBE_HALF_CELLS; ++i)
        for (int j = -CUBE_HALF_CELLS; j < CUBE_HALF_CELLS; ++j) {
            bool insideI = i >= -n && i < n, insideJ = j >= -n && j < n;
            if (!insideI || !insideJ) {
                addGridCell(axis, side, i, j);
            } else if ((i == -n || i == n - 1) && (j == -n || j == n - 1)) {
                int cu = i < 0 ? -n : n, cv = j < 0 ? -n : n;
                int du = cu < 0 ? 1 : -1, dv = cv < 0 ? 1 : -1;
                addTriangle(framePoint(axis, side, cu, cv, w),
                            framePoint(axis, side, cu + du, cv, w),
                            framePoint(axis, side, cu, cv + dv, w), inward);
            }
        }
    if (axis == SPARE_POINT_AXIS)
        addSpareDiamond(axis, side);

    // The loop: the square's border points without its corners, by angle
    // from the positive u axis.
    int loop[8 * LOOP_HALF_CELLS][2];
    int loopCount = 0;
    for (int k = -n + 1; k < n; ++k)
        loop[loopCount][0] = n, loop[loopCount++][1] = k;
    for (int k = n - 1; k > -n; --k)
        loop[loopCount][0] = k, loop[loopCount++][1] = n;
    for (int k = n - 1; k > -n; --k)
        loop[loopCount][0] = -n, loop[loopCount++][1] = k;
    for (int k = -n + 1; k < n; ++k)
        loop[loopCount][0] = k, loop[loopCount++][1] = -n;
    int start = 0;  // the point (n, 0)
    while (loop[start][1] != 0 || loop[start][0] != n)
        ++start;

    // Zip loop and rim together: both start at angle 0, and each step
    // advances the one whose next point comes first around the centre.
    int li = 0, ri = 0;
    while (li < loopCount || ri < RING_CORNERS) {
        const int* lp = loop[(start + li) % loopCount];
        const int* lq = loop[(start + li + 1) % loopCount];
        double loopNext = li + 1 == loopCount ? 2 * MESH_PI : angleOf(lq[0], lq[1]);
        double rimNext =
            ri + 1 == RING_CORNERS ? 2 * MESH_PI : angleOf(ringCos(ri + 1), ringSin(ri + 1));
        Vec3 loopPoint = framePoint(axis, side, lp[0], lp[1], w);
        Vec3 rimPoint =
            framePoint(axis, side, TUNNEL_RADIUS * ringCos(ri), TUNNEL_RADIUS * ringSin(ri), w);
        if (ri == RING_CORNERS || (li < loopCount && loopNext <= rimNext)) {
            addTriangle(loopPoint, framePoint(axis, side, lq[0], lq[1], w), rimPoint, inward);
            ++li;
        } else {
            addTriangle(loopPoint, rimPoint,
                        framePoint(axis, side, TUNNEL_RADIUS * ringCos(ri + 1),
                                   TUNNEL_RADIUS * ringSin(ri + 1), w),
                        inward);
            ++ri;
        }
    }
}

// One tunnel wall: for each side of the 16-gon a strip of quads from the
// crossing curve up through the rings at 3 and 4 to the rim at 5.
static void addTunnelWall(int axis, int side)
{
    const int levelCount = 4;
    for (int k = 0; k < RING_CORNERS; ++k) {
        double u0 = TUNNEL_RADIUS * ringCos(k), v0 = TUNNEL_RADIUS * ringSin(k);
        double u1 = TUNNEL_RADIUS * ringCos(k + 1), v1 = TUNNEL_RADIUS * ringSin(k + 1);
        double levels0[levelCount] = {
            TUNNEL_RADIUS * std::fmax(std::fabs(ringCos(k)), std::fabs(ringSin(k))), 3, 4, 5};
        double levels1[levelCount] = {
            TUNNEL_RADIUS * std::fmax(std::fabs(ringCos(k + 1)), std::fabs(ringSin(k + 1))), 3, 4,
            5};
        // Into the solid is away from the tunnel's axis.
        Vec3 inward = framePoint(axis, side, u0 + u1, v0 + v1, 0);
        for (int l = 0; l + 1 < levelCount; ++l) {
            Vec3 a = framePoint(axis, side, u0, v0, levels0[l]),
                 b = framePoint(axis, side, u1, v1, levels1[l]);
            Vec3 c = framePoint(axis, side, u1, v1, levels1[l + 1]),
                 d = framePoint(axis, side, u0, v0, levels0[l + 1]);
            addTriangle(a, b, c, inward);
            addTriangle(a, c, d, inward);
        }
    }
}

// Every undirected edge in exactly two triangles, once in each direction.
static bool isClosedAndOriented()
{
    static int directedUses[MESH_MAX_VERTICES][16][2];  // per start vertex: end vertex, uses
    static int directedCount[MESH_MAX_VERTICES];
    std::memset(directedCount, 0, sizeof directedCount);
    for (int f = 0; f < faceCount; ++f)
        for (int c = 0; c < 3; ++c) {
            int from = faces[f][c], to = faces[f][(c + 1) % 3];
            int e = 0;
            while (e < directedCount[from] && directedUses[from][e][0] != to)
                ++e;
            if (e == directedCount[from]) {
                if (e == 16)
                    return false;
                directedUses[from][e][0] = to;
                directedUses[from][e][1] = 0;
                ++directedCount[from];
            }
            if (++directedUses[from][e][1] > 1)
                return false;
        }
    for (int v = 0; v < vertexCount; ++v)
        for (int e = 0; e < directedCount[v]; ++e) {
            int to = directedUses[v][e][0];
            bool twin = false;
            for (int r = 0; r < directedCount[to]; ++r)
                twin = twin || directedUses[to][r][0] == v;
            if (!twin)
                return false;
        }
    return true;
}

static void buildMesh()
{
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 1; side >= -1; side -= 2) {
            addOuterFace(axis, side);
            addTunnelWall(axis, side);
        }
    if (buildFailed)
        return;
    if (vertexCount != MESH_VERTEX_COUNT || faceCount != MESH_FACE_COUNT) {
        std::fprintf(stderr, "gen-mesh: built %d vertices and %d triangles\n", vertexCount,
                     faceCount);
        fail("wrong counts");
    }
    if (!isClosedAndOriented())
        fail("surface is not closed and consistently oriented");
}

static float worldCoordinate(int axis, double cells)
{
    double t = (cells + CUBE_HALF_CELLS) / (2 * CUBE_HALF_CELLS);
    if (cells == CUBE_HALF_CELLS)
        return float(BOUND_MAX[axis]);
    return float(BOUND_MIN[axis] + t * (BOUND_MAX[axis] - BOUND_MIN[axis]));
}

static void putU32(unsigned char*& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        *out++ = (unsigned char)(value >> (8 * i));
}

static void putFloat(unsigned char*& out, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    putU32(out, bits);
}

static const size_t MESH_FILE_SIZE =
    static_cast<size_t>(MESH_VERTEX_COUNT) * 12 * 2 + static_cast<size_t>(MESH_FACE_COUNT) * 12 * 2;

// Converts to world units and lays out the four arrays.
static void encodeMesh(unsigned char* file)
{
    static float world[MESH_VERTEX_COUNT][3];
    for (int i = 0; i < vertexCount; ++i)
        for (int a = 0; a < 3; ++a)
            world[i][a] = worldCoordinate(a, vertices[i].x[a]);
    unsigned char* out = file;
    for (auto& p : world)
        for (float c : p)
            putFloat(out, c);
    for (int f = 0; f < faceCount; ++f)
        for (int c = 0; c < 3; ++c)
            putU32(out, static_cast<uint32_t>(faces[f][c]));
    for (int f = 0; f < faceCount; ++f) {
        Vec3 p[3];
        for (int c = 0; c < 3; ++c)
            for (int a = 0; a < 3; ++a)
                p[c].x[a] = world[faces[f][c]][a];
        Vec3 n = cross(sub(p[1], p[0]), sub(p[2], p[0]));
        double length = std::sqrt(dot(n, n));
        for (double c : n.x)
            putFloat(out, float(c / length));
    }
    for (auto& p : world)
        for (int a = 0; a < 3; ++a) {
            double t =
                (p[a] - float(BOUND_MIN[a])) / (double(float(BOUND_MAX[a])) - float(BOUND_MIN[a]));
            putFloat(out, float(TEXCOORD_LOW + t * (TEXCOORD_HIGH - TEXCOORD_LOW)));
        }
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen-mesh OUTFILE\n");
        return 2;
    }
    buildMesh();
    if (buildFailed)
        return 1;
    static unsigned char file[MESH_FILE_SIZE];
    encodeMesh(file);
    FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::fprintf(stderr, "gen-mesh: cannot open %s\n", argv[1]);
        return 1;
    }
    bool written = std::fwrite(file, 1, sizeof file, out) == sizeof file;
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "gen-mesh: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
