// Shape of the committed mesh: bounds, the grid of the outer faces, the
// stored normals and winding, the tunnels, a surface that never crosses
// itself, and the texture coordinates.
#include "mesh_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

// The box the shape fills, per axis (xmin, xmax, ymin, ymax, zmin, zmax).
static const double BOUNDS[6] = {-0.65789002, 0.65789002,  -0.65788901,
                                 0.65789098,  -0.65789002, 0.65789002};
static const double GRID_STEP = 0.131578;  // one cell of the 10 by 10 grid of each outer face
static const double PI = 3.14159265358979323846;

static Vec3d sub(const Vec3d& a, const Vec3d& b)
{
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

static Vec3d cross(const Vec3d& a, const Vec3d& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

static double dot(const Vec3d& a, const Vec3d& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

static double length(const Vec3d& a)
{
    return std::sqrt(dot(a, a));
}

static Vec3d storedNormal(const MeshFile& mesh, int f)
{
    const auto& n = mesh.normals[size_t(f)];
    return {n[0], n[1], n[2]};
}

static double centreOf(int axis)
{
    return (BOUNDS[2 * axis] + BOUNDS[2 * axis + 1]) / 2;
}

// -1 or 1 if the point lies in the outer plane on that side of the axis, else 0.
static int outerSide(const Vec3d& p, int axis)
{
    if (std::fabs(p[size_t(axis)] - BOUNDS[2 * axis]) < 1e-6)
        return -1;
    if (std::fabs(p[size_t(axis)] - BOUNDS[2 * axis + 1]) < 1e-6)
        return 1;
    return 0;
}

static bool onGrid(double value, int axis)
{
    double cells = (value - BOUNDS[2 * axis]) / GRID_STEP;
    return std::fabs(cells - std::round(cells)) < 1e-4;
}

static bool meshUsable(const MeshFile& mesh)
{
    if (!mesh.readOk)
        return false;
    for (const auto& f : mesh.faces)
        for (int32_t i : f)
            if (i < 0 || i >= MESH_VERTICES)
                return false;
    return true;
}

TEST(MeshShape, BoundsAreThoseOfTheCube)
{
    const MeshFile& mesh = committedMesh();
    ASSERT_TRUE(mesh.readOk);
    for (int axis = 0; axis < 3; ++axis) {
        double low = 1e9, high = -1e9;
        for (const auto& v : mesh.vertices) {
            low = std::min(low, double(v[size_t(axis)]));
            high = std::max(high, double(v[size_t(axis)]));
        }
        EXPECT_NEAR(low, BOUNDS[2 * axis], 1e-6) << "axis " << axis;
        EXPECT_NEAR(high, BOUNDS[2 * axis + 1], 1e-6) << "axis " << axis;
    }
}

// On each outer face, vertices lie on the grid, except those of the rim
// where the tunnel opens: those share one distance from the face's centre,
// which makes the opening round, about five cells across.
TEST(MeshShape, OuterFacesLieOnTheGridAroundARoundOpening)
{
    const MeshFile& mesh = committedMesh();
    ASSERT_TRUE(mesh.readOk);
    for (int axis = 0; axis < 3; ++axis)
        for (int side = -1; side <= 1; side += 2) {
            int u = (axis + 1) % 3, v = (axis + 2) % 3;
            int onFace = 0, rimCount = 0;
            double rimLow = 1e9, rimHigh = 0, gridNearest = 1e9;
            for (const auto& p : mesh.vertices) {
                Vec3d q{p[0], p[1], p[2]};
                if (outerSide(q, axis) != side)
                    continue;
                ++onFace;
                double radius = std::hypot(q[size_t(u)] - centreOf(u), q[size_t(v)] - centreOf(v));
                if (onGrid(q[size_t(u)], u) && onGrid(q[size_t(v)], v)) {
                    gridNearest = std::min(gridNearest, radius);
                } else {
                    ++rimCount;
                    rimLow = std::min(rimLow, radius);
                    rimHigh = std::max(rimHigh, radius);
                }
            }
            SCOPED_TRACE(testing::Message() << "face " << axis << (side < 0 ? "-" : "+"));
            EXPECT_GT(onFace, 50);
            EXPECT_GE(rimCount, 12);
            EXPECT_LT(rimHigh - rimLow, 1e-5);
            EXPECT_GT(2 * rimLow / GRID_STEP, 4.5);
            EXPECT_LT(2 * rimHigh / GRID_STEP, 5.5);
            EXPECT_GT(gridNearest, rimHigh);
        }
}

// A triangle whose corners all lie in an outer plane has that plane's inward
// normal, and those triangles cover the face less its opening exactly once.
TEST(MeshShape, OuterFacesAreFlatAndCoveredOnce)
{
    const MeshFile& mesh = committedMesh();
    ASSERT_TRUE(meshUsable(mesh));
    for (int axis = 0; axis < 3; ++axis)
        for (int side = -1; side <= 1; side += 2) {
            int u = (axis + 1) % 3, v = (axis + 2) % 3;
            double covered = 0;
            for (int f = 0; f < MESH_FACES; ++f) {
                bool inPlane = true;
                for (int c = 0; c < 3; ++c)
                    inPlane = inPlane && outerSide(corner(mesh, f, c), axis) == side;
                if (!inPlane)
                    continue;
                Vec3d n = storedNormal(mesh, f);
                EXPECT_NEAR(n[size_t(axis)], -side, 1e-6) << "triangle " << f;
                covered += length(cross(sub(corner(mesh, f, 1), corner(mesh, f, 0)),
                                        sub(corner(mesh, f, 2), corner(mesh, f, 0)))) /
                           2;
            }
            // The opening: the off-grid vertices of this face, by angle.
            std::vector<std::pair<double, Vec3d>> rim;
            for (const auto& p : mesh.vertices) {
                Vec3d q{p[0], p[1], p[2]};
                if (outerSide(q, axis) == side &&
                    !(onGrid(q[size_t(u)], u) && onGrid(q[size_t(v)], v)))
                    rim.push_back(
                        {std::atan2(q[size_t(v)] - centreOf(v), q[size_t(u)] - centreOf(u)), q});
            }
            std::sort(rim.begin(), rim.end(),
                      [](const auto& a, const auto& b) { return a.first < b.first; });
            double opening = 0;
            for (size_t i = 0; i < rim.size(); ++i) {
                const Vec3d& a = rim[i].second;
                const Vec3d& b = rim[(i + 1) % rim.size()].second;
                opening += (a[size_t(u)] * b[size_t(v)] - b[size_t(u)] * a[size_t(v)]) / 2;
            }
            double face = (BOUNDS[2 * u + 1] - BOUNDS[2 * u]) * (BOUNDS[2 * v + 1] - BOUNDS[2 * v]);
            EXPECT_NEAR(covered, face - opening, 1e-5) << "face " << axis << (side < 0 ? "-" : "+");
        }
}

TEST(MeshNormals, AreUnitPerpendicularAndSeeTheCornersCounterClockwise)
{
    const MeshFile& mesh = committedMesh();
    ASSERT_TRUE(meshUsable(mesh));
    for (int f = 0; f < MESH_FACES; ++f) {
        Vec3d n = storedNormal(mesh, f);
        Vec3d a = corner(mesh, f, 0), b = corner(mesh, f, 1), c = corner(mesh, f, 2);
        Vec3d area = cross(sub(b, a), sub(c, a));
        SCOPED_TRACE(testing::Message() << "triangle " << f);
        EXPECT_NEAR(length(n), 1.0, 1e-6);
        ASSERT_GT(length(area), 1e-6);  // not degenerate
        EXPECT_NEAR(dot(n, sub(b, a)) / length(sub(b, a)), 0.0, 1e-5);
        EXPECT_NEAR(dot(n, sub(c, b)) / length(sub(c, b)), 0.0, 1e-5);
        EXPECT_NEAR(dot(n, area) / length(area), 1.0,
                    1e-5);  // parallel, same sense: counter-clockwise
    }
}

TEST(MeshNormals, PointIntoTheSolid)
{
    const MeshFile& mesh = committedMesh();
    ASSERT_TRUE(meshUsable(mesh));
    // Volume with the outward convention is negative for inward windings.
    double volume = 0;
    for (int f = 0; f < MESH_FACES; ++f)
        volume += dot(corner(mesh, f, 0), cross(corner(mesh, f, 1), corner(mesh, f, 2))) / 6;
    double cube = (BOUNDS[1] - BOUNDS[0]) * (BOUNDS[3] - BOUNDS[2]) * (BOUNDS[5] - BOUNDS[4]);
    EXPECT_LT(volume, -0.5 * cube);
    EXPECT_GT(volume, -0.9 * cube);  // the tunnels take a good part of it
    // A step along each normal from a triangle's centre lands inside, a step
    // against it outside.
    int wrong = 0;
    for (int f = 0; f < MESH_FACES; ++f) {
        Vec3d n = storedNormal(mesh, f), centre{0, 0, 0};
        for (int c = 0; c < 3; ++c)
            for (size_t k = 0; k < 3; ++k)
                centre[k] += corner(mesh, f, c)[k] / 3;
        Vec3d in{centre[0] + 1e-4 * n[0], centre[1] + 1e-4 * n[1], centre[2] + 1e-4 * n[2]};
        Vec3d out{centre[0] - 1e-4 * n[0], centre[1] - 1e-4 * n[1], centre[2] - 1e-4 * n[2]};
        if (!insideSolid(mesh, in) || insideSolid(mesh, out))
            ++wrong;
    }
    EXPECT_EQ(wrong, 0);
}

// Every vertex gets a usable smooth normal from its triangles' normals.
TEST(MeshNormals, SumAtEveryVertexIsFarFromZero)
{
    const MeshFile& mesh = committedMesh();
    ASSERT_TRUE(meshUsable(mesh));
    std::vector<Vec3d> sum(MESH_VERTICES, Vec3d{0, 0, 0});
    for (int f = 0; f < MESH_FACES; ++f)
        for (int32_t i : mesh.faces[size_t(f)])
            for (size_t k = 0; k < 3; ++k)
                sum[size_t(i)][k] += storedNormal(mesh, f)[k];
    for (int v = 0; v < MESH_VERTICES; ++v)
        EXPECT_GT(length(sum[size_t(v)]), 0.5) << "vertex " << v;
}

// Rays along each axis: near the axis they pass all the way through, through
// the middle where the three tunnels meet; further out they hit the walls,
// and through a corner cell they enter and leave the solid once.
TEST(MeshTunnels, ThreeRoundTunnelsMeetAtTheCentre)
{
    const MeshFile& mesh = committedMesh();
    ASSERT_TRUE(meshUsable(mesh));
    EXPECT_FALSE(insideSolid(mesh, {centreOf(0), centreOf(1), centreOf(2)}));
    for (int axis = 0; axis < 3; ++axis) {
        int u = (axis + 1) % 3, v = (axis + 2) % 3;
        auto alongAxis = [&](double du, double dv) {
            Vec3d origin{centreOf(0), centreOf(1), centreOf(2)}, direction{0, 0, 0};
            origin[size_t(axis)] = -2;
            origin[size_t(u)] += du;
            origin[size_t(v)] += dv;
            direction[size_t(axis)] = 1;
            return rayCrossings(mesh, origin, direction);
        };
        SCOPED_TRACE(testing::Message() << "axis " << axis);
        EXPECT_EQ(alongAxis(0, 0), 0);
        for (int k = 0; k < 64; ++k) {
            double angle = 2 * PI * (k + 0.37) / 64;
            EXPECT_EQ(
                alongAxis(2.25 * GRID_STEP * std::cos(angle), 2.25 * GRID_STEP * std::sin(angle)),
                0)
                << k;
            EXPECT_GE(
                alongAxis(2.75 * GRID_STEP * std::cos(angle), 2.75 * GRID_STEP * std::sin(angle)),
                2)
                << k;
        }
        EXPECT_EQ(alongAxis(4.3 * GRID_STEP, 4.6 * GRID_STEP), 2);
        EXPECT_EQ(alongAxis(-4.6 * GRID_STEP, 4.3 * GRID_STEP), 2);
        EXPECT_EQ(alongAxis(-4.3 * GRID_STEP, -4.6 * GRID_STEP), 2);
    }
}

// No two triangles without a common corner meet: no edge of one pierces the
// other.
TEST(MeshShape, SurfaceNeverCrossesItself)
{
    const MeshFile& mesh = committedMesh();
    ASSERT_TRUE(meshUsable(mesh));
    std::vector<std::array<double, 6>> box(MESH_FACES);
    for (int f = 0; f < MESH_FACES; ++f)
        for (size_t k = 0; k < 3; ++k) {
            box[size_t(f)][2 * k] =
                std::min({corner(mesh, f, 0)[k], corner(mesh, f, 1)[k], corner(mesh, f, 2)[k]});
            box[size_t(f)][2 * k + 1] =
                std::max({corner(mesh, f, 0)[k], corner(mesh, f, 1)[k], corner(mesh, f, 2)[k]});
        }
    // Whether segment pq crosses triangle abc (away from its ends).
    auto pierces = [](const Vec3d& p, const Vec3d& q, const Vec3d& a, const Vec3d& b,
                      const Vec3d& c) {
        Vec3d n = cross(sub(b, a), sub(c, a));
        double dp = dot(n, sub(p, a)), dq = dot(n, sub(q, a));
        if ((dp > 0) == (dq > 0) || dp == 0 || dq == 0)
            return false;
        double t = dp / (dp - dq);
        Vec3d x{p[0] + t * (q[0] - p[0]), p[1] + t * (q[1] - p[1]), p[2] + t * (q[2] - p[2])};
        return dot(cross(sub(b, a), sub(x, a)), n) > 0 && dot(cross(sub(c, b), sub(x, b)), n) > 0 &&
               dot(cross(sub(a, c), sub(x, c)), n) > 0;
    };
    int crossings = 0;
    for (int f = 0; f < MESH_FACES; ++f)
        for (int g = f + 1; g < MESH_FACES; ++g) {
            bool apart = false;
            for (size_t k = 0; k < 3; ++k)
                apart = apart || box[size_t(f)][2 * k] > box[size_t(g)][2 * k + 1] + 1e-9 ||
                        box[size_t(g)][2 * k] > box[size_t(f)][2 * k + 1] + 1e-9;
            if (apart)
                continue;
            bool shareCorner = false;
            for (int32_t i : mesh.faces[size_t(f)])
                for (int32_t j : mesh.faces[size_t(g)])
                    shareCorner = shareCorner || i == j;
            if (shareCorner)
                continue;
            bool meet = false;
            for (int e = 0; e < 3; ++e) {
                meet = meet || pierces(corner(mesh, f, e), corner(mesh, f, (e + 1) % 3),
                                       corner(mesh, g, 0), corner(mesh, g, 1), corner(mesh, g, 2));
                meet = meet || pierces(corner(mesh, g, e), corner(mesh, g, (e + 1) % 3),
                                       corner(mesh, f, 0), corner(mesh, f, 1), corner(mesh, f, 2));
            }
            if (meet) {
                ++crossings;
                ADD_FAILURE() << "triangles " << f << " and " << g << " cross";
            }
        }
    EXPECT_EQ(crossings, 0);
}

TEST(MeshTexCoords, LieBetweenTheLimits)
{
    const MeshFile& mesh = committedMesh();
    ASSERT_TRUE(mesh.readOk);
    for (int v = 0; v < MESH_VERTICES; ++v)
        for (float t : mesh.texCoords[size_t(v)]) {
            EXPECT_GE(t, 0.0005f) << "vertex " << v;
            EXPECT_LE(t, 0.9995f) << "vertex " << v;
        }
}
