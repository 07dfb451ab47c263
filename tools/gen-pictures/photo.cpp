// The portrait for the flash overlay: a head and shoulders on a white
// studio ground, ray-marched from signed distance functions with soft
// studio lighting, 3 by 3 samples per pixel and a little film grain.
// Main thread of the tool only.
#include "tools/gen-pictures/canvas.h"

#include <cmath>

// ---------------------------------------------------------------- state
// Scene units: the picture spans x and y from -ZOOM to ZOOM in the plane z = 0,
// +y up, +z towards the camera.
static const float CAMERA_Z = 7.0f;  // camera position on the z axis, scene units
static const float TURN = 0.22f;     // the figure's turn to its left about y, radians
static const float TILT = 0.06f;     // the head's tilt about z, radians
static const int SAMPLES = 3;        // samples per pixel along each axis
static const int MARCH_STEPS = 160;  // ray-march iterations per ray
static const float FAR = 12.0f;      // rays stop beyond this distance, scene units
static const float WALL_Z = -0.9f;   // the white paper backdrop, a plane at this z
static const float ZOOM = 0.88f;     // half the picture's width in scene units at z = 0

namespace {

struct Vec {
    float x, y, z;
};

}  // namespace

static Vec operator+(Vec a, Vec b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
static Vec operator-(Vec a, Vec b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
static Vec operator*(Vec a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}
static Vec operator*(Vec a, Vec b)
{
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}
static float dot(Vec a, Vec b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
static float length(Vec a)
{
    return std::sqrt(dot(a, a));
}
static Vec normalize(Vec a)
{
    return a * (1.0f / length(a));
}
static Vec divide(Vec a, Vec b)
{
    return {a.x / b.x, a.y / b.y, a.z / b.z};
}
static Vec mix(Vec a, Vec b, float t)
{
    return a + (b - a) * t;
}

// ---------------------------------------------------------------- shapes

static float ellipsoid(Vec p, Vec radii)
{
    float k0 = length(divide(p, radii));
    float k1 = length(divide(p, radii * radii));
    return k0 * (k0 - 1.0f) / k1;
}

static float capsule(Vec p, Vec a, Vec b, float radius)
{
    Vec pa = p - a, ba = b - a;
    float h = clamp01(dot(pa, ba) / dot(ba, ba));
    return length(pa - ba * h) - radius;
}

static float sphere(Vec p, Vec centre, float radius)
{
    return length(p - centre) - radius;
}

// Polynomial smooth minimum and maximum, blend width k.
static float smoothMin(float a, float b, float k)
{
    float h = clamp01(0.5f + 0.5f * (b - a) / k);
    return ::mix(b, a, h) - k * h * (1.0f - h);
}
static float smoothMax(float a, float b, float k)
{
    return -smoothMin(-a, -b, k);
}

static const Vec KEY =
    normalize({-0.75f, 0.5f, 0.6f});  // towards the key light, upper left in front

namespace {

enum Material { SKIN, HAIR, EYE, LIPS, SHIRT, COLLAR };

// The figure's parts, each a distance in scene units, for one point.
struct Parts {
    float skin, hair, eyes, lips, shirt, collar;
};

}  // namespace

static Vec rotateY(Vec p, float a)
{
    float c = std::cos(a), s = std::sin(a);
    return {c * p.x + s * p.z, p.y, -s * p.x + c * p.z};
}
static Vec rotateZ(Vec p, float a)
{
    float c = std::cos(a), s = std::sin(a);
    return {c * p.x - s * p.y, s * p.x + c * p.y, p.z};
}

static const Vec HEAD = {0.0f, 0.24f, 0.0f};  // head centre before the turn

static Parts parts(Vec world)
{
    Vec body = rotateY(world, -TURN * 0.45f);
    Vec p = rotateZ(rotateY(world - HEAD, -TURN), -TILT);  // head space, origin at the head centre
    Vec q = {std::fabs(p.x), p.y, p.z};                    // mirrored for paired features

    // Skull and face: eyes halfway between crown and chin, the nose tip
    // the furthest forward, the mouth a third of the way from nose to chin.
    float skull = ellipsoid(p - Vec{0.0f, 0.05f, -0.03f}, {0.31f, 0.4f, 0.37f});
    float jaw = ellipsoid(p - Vec{0.0f, -0.17f, 0.05f}, {0.235f, 0.235f, 0.265f});
    float head = smoothMin(skull, jaw, 0.1f);
    float muzzle = ellipsoid(p - Vec{0.0f, -0.2f, 0.19f}, {0.13f, 0.1f, 0.14f});
    head = smoothMin(head, muzzle, 0.06f);
    float chin = ellipsoid(p - Vec{0.0f, -0.34f, 0.19f}, {0.08f, 0.07f, 0.08f});
    head = smoothMin(head, chin, 0.05f);
    float cheeks = ellipsoid(q - Vec{0.15f, -0.04f, 0.21f}, {0.1f, 0.07f, 0.1f});
    head = smoothMin(head, cheeks, 0.05f);
    float brow = ellipsoid(q - Vec{0.1f, 0.1f, 0.29f}, {0.1f, 0.035f, 0.06f});
    head = smoothMin(head, brow, 0.04f);
    float sockets = sphere(q, {0.11f, 0.03f, 0.36f}, 0.07f);
    head = smoothMax(head, -sockets, 0.035f);
    float lidBall = sphere(q, {0.11f, 0.03f, 0.268f}, 0.06f);
    float upperLid = std::max(lidBall, 0.052f - q.y);
    float lowerLid = std::max(lidBall, q.y - 0.004f);
    head = smoothMin(head, std::min(upperLid, lowerLid), 0.012f);
    float bridge = capsule(p, {0.0f, 0.05f, 0.34f}, {0.0f, -0.1f, 0.405f}, 0.028f);
    float tip = sphere(p, {0.0f, -0.105f, 0.4f}, 0.036f);
    float nostrils = sphere(q, {0.034f, -0.122f, 0.37f}, 0.027f);
    head = smoothMin(head, smoothMin(smoothMin(bridge, tip, 0.03f), nostrils, 0.02f), 0.04f);
    float ears = ellipsoid(q - Vec{0.322f, -0.01f, -0.04f}, {0.045f, 0.1f, 0.06f});
    head = smoothMin(head, ears, 0.025f);

    // Neck and shoulders share the skin until the collar covers them.
    Vec b = body;
    float neck = capsule(b, {0.0f, -0.55f, -0.06f}, {0.0f, 0.0f, -0.07f}, 0.175f);
    float skin = smoothMin(head, neck, 0.08f);

    float eyes = sphere(q, {0.11f, 0.03f, 0.268f}, 0.055f);
    float upperLip = ellipsoid(p - Vec{0.0f, -0.207f, 0.308f}, {0.072f, 0.018f, 0.03f});
    float lowerLip = ellipsoid(p - Vec{0.0f, -0.239f, 0.303f}, {0.06f, 0.02f, 0.03f});
    float lips = std::min(upperLip, lowerLip);

    // Hair: a cap over the skull that thins to nothing at the hairline,
    // which sits high at the forehead and low at the nape, with a lock
    // swept across the forehead.
    float ragged = 0.03f * (valueNoise(p.x * 24.0f + 7.0f, p.z * 24.0f, 4096, 61) - 0.5f);
    float hairline =
        (0.1f + 0.62f * p.z - 0.04f * p.x + ragged) - p.y;  // negative where hair grows
    float thinning = 0.045f * (1.0f - smoothstep(0.0f, 0.16f, -hairline));
    float cap = ellipsoid(p - Vec{0.0f, 0.09f, -0.05f}, {0.345f, 0.44f, 0.42f}) + thinning;
    float crown = ellipsoid(p - Vec{-0.03f, 0.27f, -0.02f}, {0.3f, 0.23f, 0.34f});
    cap = smoothMin(cap, crown, 0.08f);
    float strands =
        0.004f * std::sin(50.0f * p.x + 12.0f * p.z) * std::sin(30.0f * p.y + 6.0f * p.x);
    float tufts =
        0.03f * (valueNoise(p.x * 14.0f + 3.0f, p.y * 14.0f + p.z * 7.0f, 4096, 57) - 0.5f);
    cap += strands + tufts;
    float hair = smoothMax(cap, hairline, 0.015f);
    float fringe = capsule(p, {-0.16f, 0.38f, 0.25f}, {0.18f, 0.29f, 0.29f}, 0.04f);
    hair = smoothMin(hair, fringe + strands + tufts * 0.5f, 0.07f);

    // Torso in a crew-neck sweater: shoulders sloping from the neck.
    float chest = ellipsoid(b - Vec{0.0f, -0.95f, -0.05f}, {0.95f, 0.5f, 0.36f});
    float shoulders = capsule(b, {-0.62f, -0.68f, -0.06f}, {0.62f, -0.68f, -0.06f}, 0.2f);
    Vec m = {std::fabs(b.x), b.y, b.z};
    float trapezius = capsule(m, {0.0f, -0.38f, -0.1f}, {0.52f, -0.62f, -0.08f}, 0.13f);
    shoulders = smoothMin(shoulders, trapezius, 0.12f);
    float shirt = smoothMin(chest, shoulders, 0.25f);
    float collar = capsule(b, {0.0f, -0.52f, -0.05f}, {0.0f, -0.44f, -0.05f}, 0.215f);
    collar =
        smoothMax(collar, -capsule(b, {0.0f, -0.7f, -0.05f}, {0.0f, -0.3f, -0.05f}, 0.185f), 0.01f);
    return {skin, hair, eyes, lips, shirt, collar};
}

static float sceneDistance(Vec p)
{
    Parts d = parts(p);
    float figure = smoothMin(d.skin, d.shirt, 0.04f);
    figure = std::min(figure, d.collar);
    figure = std::min(figure, d.hair);
    figure = std::min(figure, d.eyes);
    figure = std::min(figure, d.lips);
    return figure;
}

static Material materialAt(Vec p)
{
    Parts d = parts(p);
    Material m = SKIN;
    float best = d.skin;
    if (d.shirt < best - 0.005f)
        best = d.shirt, m = SHIRT;
    if (d.collar < best)
        best = d.collar, m = COLLAR;
    if (d.hair < best + 0.002f)
        best = d.hair, m = HAIR;
    if (d.eyes < best)
        best = d.eyes, m = EYE;
    if (d.lips < best + 0.002f)
        best = d.lips, m = LIPS;
    return m;
}

static Vec normalAt(Vec p)
{
    const float e = 0.0015f;
    Vec n = {sceneDistance(p + Vec{e, 0, 0}) - sceneDistance(p - Vec{e, 0, 0}),
             sceneDistance(p + Vec{0, e, 0}) - sceneDistance(p - Vec{0, e, 0}),
             sceneDistance(p + Vec{0, 0, e}) - sceneDistance(p - Vec{0, 0, e})};
    return normalize(n);
}

// Distance along the ray to the figure, or a negative value for a miss.
static float march(Vec origin, Vec direction)
{
    float t = CAMERA_Z - 1.5f;
    for (int i = 0; i < MARCH_STEPS && t < FAR; ++i) {
        float d = sceneDistance(origin + direction * t);
        if (d < 0.0005f)
            return t;
        t += d * 0.8f;
    }
    return -1.0f;
}

// Penumbra towards a light: 1 unlit by nothing, 0 fully shadowed; a
// smaller sharpness widens the penumbra.
static float softShadow(Vec p, Vec towardLight, float sharpness)
{
    float light = 1.0f, t = 0.02f;
    for (int i = 0; i < 48 && t < 3.0f; ++i) {
        float d = sceneDistance(p + towardLight * t);
        light = std::min(light, sharpness * d / t);
        if (light < 0.001f)
            return 0.0f;
        t += std::max(d, 0.01f);
    }
    return clamp01(light);
}

static float occlusion(Vec p, Vec n)
{
    float shade = 0.0f, weight = 1.0f;
    for (int i = 1; i <= 5; ++i) {
        float h = 0.03f * float(i);
        shade += weight * (h - sceneDistance(p + n * h));
        weight *= 0.6f;
    }
    return clamp01(1.0f - 2.5f * shade);
}

static float toLinear(float v)
{
    return std::pow(v, 2.2f);
}
static Vec toLinear(Vec c)
{
    return {toLinear(c.x), toLinear(c.y), toLinear(c.z)};
}

// Albedo (linear) of the surface at p with normal n.
static Vec albedoAt(Vec p, Material m, float& shininess, float& specular)
{
    Vec head = rotateZ(rotateY(p - HEAD, -TURN), -TILT);
    Vec q = {std::fabs(head.x), head.y, head.z};
    shininess = 24.0f;
    specular = 0.12f;
    switch (m) {
    case SKIN: {
        Vec c = {0.86f, 0.64f, 0.52f};
        float blush =
            std::exp(-(std::pow(q.x - 0.17f, 2.0f) + std::pow(q.y + 0.08f, 2.0f)) / 0.006f);
        float noseTip =
            std::exp(-(std::pow(head.x, 2.0f) + std::pow(head.y + 0.08f, 2.0f)) / 0.003f);
        c = c + Vec{0.02f, -0.035f, -0.03f} * (blush + noseTip);
        float pores = 0.97f + 0.06f * valueNoise(p.x * 90.0f, p.y * 90.0f + p.z * 50.0f, 4096, 7);
        c = c * pores;
        // Eyebrows: an arched band of fine dark hair above each eye.
        float archY = 0.112f + 0.02f * std::sin((q.x - 0.03f) / 0.16f * 3.1415927f);
        float browBand = smoothstep(0.016f, 0.006f, std::fabs(q.y - archY)) *
                         smoothstep(0.02f, 0.035f, q.x) * smoothstep(0.2f, 0.17f, q.x) *
                         smoothstep(0.22f, 0.26f, head.z);
        float browHair = 0.6f + 0.4f * valueNoise(q.x * 220.0f, q.y * 60.0f, 4096, 41);
        c = mix(c, Vec{0.2f, 0.12f, 0.08f} * 1.0f, browBand * browHair);
        // Lash line along the upper lid's edge.
        float lid = std::fabs(length(q - Vec{0.11f, 0.03f, 0.268f}) - 0.06f);
        float lash = smoothstep(0.006f, 0.0f, lid) * smoothstep(0.045f, 0.055f, q.y) *
                     smoothstep(0.2f, 0.25f, head.z);
        c = mix(c, Vec{0.08f, 0.05f, 0.04f}, lash * 0.85f);
        return toLinear(c);
    }
    case HAIR: {
        shininess = 18.0f;
        specular = 0.07f;
        // Strands radiate from the crown: fine stripes across the
        // direction of growth, coarser clumps, darker towards the roots.
        float around = std::atan2(head.x - 0.03f, head.z + 0.05f);
        float fine = valueNoise(around * 70.0f, head.y * 5.0f, 4096, 22);
        float clumps = valueNoise(around * 14.0f, head.y * 3.0f + 1.0f, 4096, 21);
        float sun = smoothstep(0.1f, 0.45f, head.y);
        float v = (0.55f + 0.45f * fine) * (0.75f + 0.4f * clumps) * (0.8f + 0.35f * sun);
        return toLinear(Vec{0.26f, 0.16f, 0.09f} * v);
    }
    case EYE: {
        shininess = 180.0f;
        specular = 0.9f;
        // Iris and pupil look straight at the camera from the eyeball centre.
        Vec eyeCentre = {head.x < 0 ? -0.11f : 0.11f, 0.03f, 0.268f};
        Vec local = head - eyeCentre;
        Vec toCamera = normalize(rotateY(Vec{0, 0, 1}, -TURN) + Vec{0.0f, 0.0f, 0.0f});
        float along = dot(normalize(local), toCamera);
        float angle = std::acos(std::fmin(1.0f, along));
        if (angle < 0.15f)
            return toLinear(Vec{0.04f, 0.03f, 0.03f});
        if (angle < 0.4f) {
            float ring = valueNoise(std::atan2(local.y, local.x) * 8.0f, angle * 20.0f, 4096, 31);
            return toLinear(Vec{0.28f, 0.38f, 0.44f} * (0.7f + 0.5f * ring));
        }
        return toLinear(Vec{0.8f, 0.77f, 0.74f});
    }
    case LIPS: {
        specular = 0.25f;
        shininess = 40.0f;
        float crease = smoothstep(0.006f, 0.0f, std::fabs(head.y + 0.222f));
        return toLinear(mix(Vec{0.7f, 0.42f, 0.4f}, Vec{0.28f, 0.13f, 0.12f}, crease));
    }
    case SHIRT: {
        specular = 0.03f;
        float knit = 0.9f + 0.1f * std::sin(p.x * 260.0f) * std::sin(p.y * 130.0f);
        return toLinear(Vec{0.17f, 0.22f, 0.33f} * knit);
    }
    case COLLAR: specular = 0.03f; return toLinear(Vec{0.14f, 0.18f, 0.28f});
    }
    return {0, 0, 0};
}

static Vec shade(Vec p, Vec n, Vec view)
{
    float shininess, specular;
    Material m = materialAt(p);
    Vec albedo = albedoAt(p, m, shininess, specular);
    const Vec FILL = normalize({0.8f, 0.05f, 0.6f});
    const Vec RIM = normalize({0.55f, 0.4f, -0.75f});
    float ao = occlusion(p, n);
    float keyShadow = softShadow(p + n * 0.003f, KEY, 10.0f);
    // Skin lets light wrap past the terminator, warm in the shadow edge.
    float wrap = m == SKIN || m == LIPS ? 0.35f : 0.1f;
    float key = clamp01((dot(n, KEY) + wrap) / (1.0f + wrap)) * keyShadow;
    float fill = clamp01(dot(n, FILL));
    float rim = std::pow(clamp01(1.0f - dot(n, view * -1.0f)), 3.0f) * clamp01(dot(n, RIM) + 0.4f);
    Vec keyColour = Vec{1.0f, 0.96f, 0.9f} * 1.55f;
    Vec light =
        keyColour * key + Vec{0.55f, 0.6f, 0.7f} * (0.35f * fill) + Vec{0.4f, 0.4f, 0.43f} * ao;
    if (m == SKIN || m == LIPS) {
        float scatter = clamp01(dot(n, KEY) + wrap) - clamp01(dot(n, KEY));
        light = light + Vec{0.35f, 0.06f, 0.02f} * (scatter * keyShadow);
    }
    Vec colour = albedo * light;
    Vec half = normalize(KEY - view);
    float glint = specular * std::pow(clamp01(dot(n, half)), shininess) * keyShadow;
    colour = colour + Vec{1, 1, 1} * (glint + 0.8f * rim);
    return colour;
}

static float toDisplay(float v)
{
    v = v / (1.0f + 0.15f * v);  // soft shoulder on the highlights
    return std::pow(clamp01(v), 1.0f / 2.2f);
}

void drawPortrait()
{
    const Vec eye = {0.0f, 0.0f, CAMERA_Z};
    for (int py = 0; py < SIDE; ++py)
        for (int px = 0; px < SIDE; ++px) {
            Vec sum = {0, 0, 0};
            for (int sy = 0; sy < SAMPLES; ++sy)
                for (int sx = 0; sx < SAMPLES; ++sx) {
                    float x = ((float(px) + (float(sx) + 0.5f) / SAMPLES) / 128.0f - 1.0f) * ZOOM;
                    float y = (1.0f - (float(py) + (float(sy) + 0.5f) / SAMPLES) / 128.0f) * ZOOM;
                    Vec direction = normalize(Vec{x, y, 0.0f} - eye);
                    float t = march(eye, direction);
                    if (t < 0.0f) {
                        // The white paper behind the sitter, with the key light's soft shadow on it.
                        Vec wall = eye + direction * ((CAMERA_Z - WALL_Z) / -direction.z);
                        // It fades out before the picture's edges, which meet plain white panels.
                        float shadow = softShadow(wall, KEY, 2.5f);
                        float edge = std::fmax(std::fabs(x), std::fabs(y)) / ZOOM;
                        float v = 1.0f -
                                  0.16f * (1.0f - shadow) * (1.0f - smoothstep(0.55f, 0.92f, edge));
                        sum = sum + Vec{v, v, v * 1.01f};
                        continue;
                    }
                    Vec p = eye + direction * t;
                    Vec c = shade(p, normalAt(p), direction);
                    sum = sum + Vec{toDisplay(c.x), toDisplay(c.y), toDisplay(c.z)};
                }
            Vec c = sum * (1.0f / float(SAMPLES * SAMPLES));
            // Film grain on the subject only; the ground stays pure white.
            float coverage = 1.0f - std::fmin(std::fmin(c.x, c.y), c.z);
            float grain = (hash2(px, py, 91) - 0.5f) * 0.035f * clamp01(coverage * 8.0f);
            canvas[py][px] = {c.x + grain, c.y + grain, c.z + grain};
        }
}
