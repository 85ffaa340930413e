// e2e_scene: reads the game's scene off a screenshot.
//
//   e2e_scene project X Y Z          window pixel (column, row from the top) of
//                                    a world point in an 800 x 800 window
//   e2e_scene pixel PNG COL ROW      "R G B CLASS" of one pixel
//   e2e_scene count PNG CLASS C0 R0 C1 R1
//                                    pixels of CLASS in the box [C0,C1) x [R0,R1)
//   e2e_scene board PNG              checks the board's centre and rings
//   e2e_scene arrow PNG              "arrow X Y pixels N": where a resting
//                                    arrow stands on the board, in board units
//   e2e_scene text PNG               checks the seven instruction lines
//
// The camera is the game's: the look-at from (0, 0.02, 1) to the origin with
// +y up, applied twice (once by the reshape, once more by every frame), under
// a 40 degree perspective. Colours are judged by hue class rather than exact
// values, because lighting scales them.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Vec {
    double x, y, z;
};
Vec sub(Vec a, Vec b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec cross(Vec a, Vec b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec unit(Vec a) {
    double l = std::sqrt(dot(a, a));
    return {a.x / l, a.y / l, a.z / l};
}

using Mat = double[4][4];

void lookAt(Mat m, Vec eye, Vec centre, Vec up) {
    Vec f = unit(sub(centre, eye)), s = unit(cross(f, up)), u = cross(s, f);
    const Vec rows[3] = {s, u, {-f.x, -f.y, -f.z}};
    for (int r = 0; r < 3; ++r) {
        m[r][0] = rows[r].x;
        m[r][1] = rows[r].y;
        m[r][2] = rows[r].z;
        m[r][3] = -dot(rows[r], eye);
    }
    m[3][0] = m[3][1] = m[3][2] = 0.0;
    m[3][3] = 1.0;
}

void apply(const Mat m, const double in[4], double out[4]) {
    for (int r = 0; r < 4; ++r)
        out[r] = m[r][0] * in[0] + m[r][1] * in[1] + m[r][2] * in[2] + m[r][3] * in[3];
}

// Window position of a world point; false when it lies behind the eye.
bool project(Vec p, double width, double height, double &col, double &row) {
    Mat view;
    lookAt(view, {0, 0.02, 1}, {0, 0, 0}, {0, 1, 0});
    double world[4] = {p.x, p.y, p.z, 1.0}, once[4], twice[4];
    apply(view, world, once);
    apply(view, once, twice);
    const double f = 1.0 / std::tan(20.0 * M_PI / 180.0), aspect = width / height;
    double w = -twice[2];
    if (w <= 0.0)
        return false;
    col = (f / aspect * twice[0] / w + 1.0) / 2.0 * width;
    row = (1.0 - f * twice[1] / w) / 2.0 * height;
    return true;
}

// The point of the plane at depth z seen at a window pixel (Newton steps on
// the plane-to-window map, which is smooth and nearly linear here).
Vec unproject(double col, double row, double z, double width, double height) {
    Vec p{0, 0, z};
    for (int it = 0; it < 20; ++it) {
        double c0, r0, cx, rx, cy, ry, h = 1e-4;
        project(p, width, height, c0, r0);
        project({p.x + h, p.y, z}, width, height, cx, rx);
        project({p.x, p.y + h, z}, width, height, cy, ry);
        double a = (cx - c0) / h, b = (cy - c0) / h, c = (rx - r0) / h, d = (ry - r0) / h;
        double ec = col - c0, er = row - r0, det = a * d - b * c;
        p.x += (d * ec - b * er) / det;
        p.y += (a * er - c * ec) / det;
    }
    return p;
}

struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char *at(int c, int r) const {
        return &rgb[3 * (static_cast<size_t>(r) * width + c)];
    }
};

bool load(const char *png, Image &img) {
    std::string cmd = std::string("convert '") + png + "' -depth 8 ppm:-";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return false;
    int maxval = 0;
    bool ok = std::fscanf(p, "P6 %d %d %d", &img.width, &img.height, &maxval) == 3 && maxval == 255;
    if (ok) {
        std::fgetc(p);
        img.rgb.resize(static_cast<size_t>(img.width) * img.height * 3);
        ok = std::fread(img.rgb.data(), 1, img.rgb.size(), p) == img.rgb.size();
    }
    pclose(p);
    if (!ok)
        std::fprintf(stderr, "e2e_scene: cannot read %s\n", png);
    return ok;
}

// Hue classes of the lit scene. Lighting scales each surface colour between
// its ambient share (0.2) and about 0.95 of it, so classes go by ratios:
// the board's blue (0, 0, 0.8) and red (0.8, 0, 0); the arrow's shaft
// (1, 0.9, 0.7), dim or bright; the pale-yellow disks (1, 1, 0.8), lit to
// 215 and more; the first text line, which takes that yellow at a raster
// position's lighting (about 193, 193, 155); the white text, lit grey-white.
const char *classify(const unsigned char *p) {
    const int r = p[0], g = p[1], b = p[2];
    const int hi = std::max(r, std::max(g, b));
    if (hi < 40)
        return "dark";
    if (b > 2 * r && b > 2 * g)
        return "blue";
    if (r > 2 * g && r > 2 * b)
        return "red";
    if (g * 100 >= r * 80 && g * 100 <= r * 95 && b * 100 >= r * 60 && b * 100 <= r * 80)
        return "arrow";
    const bool grey = std::abs(r - g) <= 4 && std::abs(g - b) <= 4;
    const bool yellowish = std::abs(r - g) <= 4 && b * 100 >= r * 70 && b * 100 <= r * 88;
    if (grey && r >= 150)
        return "white";
    if (yellowish && r >= 215)
        return "yellow";
    if (yellowish && r >= 150)
        return "paletext";
    return "other";
}

int cmdProject(char **argv) {
    double col, row;
    if (!project({std::atof(argv[0]), std::atof(argv[1]), std::atof(argv[2])}, 800, 800, col, row))
        return 1;
    std::printf("%.1f %.1f\n", col, row);
    return 0;
}

int cmdPixel(const Image &img, int c, int r) {
    if (c < 0 || r < 0 || c >= img.width || r >= img.height)
        return 1;
    const unsigned char *p = img.at(c, r);
    std::printf("%d %d %d %s\n", p[0], p[1], p[2], classify(p));
    return 0;
}

int cmdCount(const Image &img, const char *cls, int c0, int r0, int c1, int r1) {
    long n = 0;
    for (int r = std::max(0, r0); r < std::min(r1, img.height); ++r)
        for (int c = std::max(0, c0); c < std::min(c1, img.width); ++c)
            if (std::strcmp(classify(img.at(c, r)), cls) == 0)
                ++n;
    std::printf("%ld\n", n);
    return 0;
}

// The class seen at a board point, looked up at its projected pixel.
const char *seenAt(const Image &img, double x, double y, double z) {
    double c, r;
    if (!project({x, y, z}, img.width, img.height, c, r))
        return "none";
    int ci = static_cast<int>(c), ri = static_cast<int>(r);
    if (ci < 0 || ri < 0 || ci >= img.width || ri >= img.height)
        return "none";
    return classify(img.at(ci, ri));
}

// The rings seen at the middle of each band, on four radii (left, right, up
// and down), at the depth of the disk that shows there, and the dark space
// just outside the board. Below the very middle a resting arrow covers a few
// pixels of the blue centre, so the centre is looked at on three radii.
int cmdBoard(const Image &img) {
    struct Band {
        double radius, z;
        const char *cls;
    };
    const Band bands[] = {{0.012, 0.01, "blue"}, {0.04, 0.0, "red"},     {0.095, -0.01, "blue"},
                          {0.185, -0.02, "red"}, {0.305, -0.03, "blue"}, {0.435, -0.04, "red"},
                          {0.56, -0.04, "dark"}};
    const double dirs[4][2] = {{-1, 0}, {1, 0}, {0, 1}, {0, -1}};
    int bad = 0;
    for (const Band &band : bands)
        for (int k = 0; k < (band.radius < 0.02 ? 3 : 4); ++k) {
            const double x = dirs[k][0] * band.radius, y = dirs[k][1] * band.radius;
            const char *seen = seenAt(img, x, y, band.z);
            if (std::strcmp(seen, band.cls) != 0) {
                std::printf("at (%.3f, %.3f): %s, expected %s\n", x, y, seen, band.cls);
                ++bad;
            }
        }
    double left, right, row;
    project({-0.5, 0, -0.04}, img.width, img.height, left, row);
    project({0.5, 0, -0.04}, img.width, img.height, right, row);
    std::printf("board span %.0f of %d pixels, %d mismatches\n", right - left, img.width, bad);
    return bad == 0 ? 0 : 1;
}

// Each instruction line, in the box its 9 x 15 glyphs fill from its raster
// position (0.2 right of the line's origin, baseline at the position): the
// first in the disks' pale yellow, the others white. A line of letters in
// this font lights about two pixels per column of its box; a misplaced or
// missing line lights next to none of that colour there.
int cmdText(const Image &img) {
    struct Line {
        double x, y;
        const char *text;
    };
    const Line lines[] = {{-0.7, 0.45, "Welcome to Arrowsong!"},
                          {-0.7, 0.41, "To hear the pitch,"},
                          {-0.65, 0.38, "press spacebar."},
                          {-0.7, 0.35, "Press again to stop."},
                          {0.05, 0.44, "Click and hold the"},
                          {0.05, 0.39, "mouse and sing the"},
                          {0.1, 0.34, "pitch back."}};
    int bad = 0;
    for (int i = 0; i < 7; ++i) {
        double c, r;
        project({lines[i].x + 0.2, lines[i].y, 0.6}, img.width, img.height, c, r);
        const int c0 = static_cast<int>(c),
                  c1 = c0 + 9 * static_cast<int>(std::strlen(lines[i].text));
        const int r0 = static_cast<int>(r) - 12, r1 = static_cast<int>(r) + 4;
        const char *want = i == 0 ? "paletext" : "white", *other = i == 0 ? "white" : "paletext";
        long glyphs = 0, wrong = 0;
        for (int y = std::max(0, r0); y < std::min(r1, img.height); ++y)
            for (int x = std::max(0, c0); x < std::min(c1, img.width); ++x) {
                const char *cls = classify(img.at(x, y));
                glyphs += std::strcmp(cls, want) == 0;
                wrong += std::strcmp(cls, other) == 0;
            }
        const bool ok = glyphs >= c1 - c0 && wrong * 20 < glyphs;
        std::printf("line %d at (%d, %d): %ld %s pixels, %ld %s%s\n", i + 1, c0, r0, glyphs, want,
                    wrong, other, ok ? "" : "  <- wrong");
        bad += !ok;
    }
    return bad == 0 ? 0 : 1;
}

// Where a resting arrow stands on the board. The shaft runs from there 0.6
// back towards the viewer, parallel to the z axis, so its image runs away
// from the vanishing point of that axis; its rear end (z = 0.6) is the arrow
// pixel farthest from that point, and is never hidden by the board or the
// corner disks (z = 0.5), which the front of a high shot may be. The rim of
// the open rear end adds under 0.006 of error.
int cmdArrow(const Image &img) {
    double vc, vr;
    project({0, 0, -1e5}, img.width, img.height, vc, vr);
    long n = 0;
    double best = -1.0, bc = 0, br = 0;
    for (int r = 0; r < img.height; ++r)
        for (int c = 0; c < img.width; ++c) {
            if (std::strcmp(classify(img.at(c, r)), "arrow") != 0)
                continue;
            ++n;
            double d = std::hypot(c + 0.5 - vc, r + 0.5 - vr);
            if (d > best) {
                best = d;
                bc = c + 0.5;
                br = r + 0.5;
            }
        }
    if (n == 0) {
        std::printf("arrow none\n");
        return 1;
    }
    Vec p = unproject(bc, br, 0.6, img.width, img.height);
    std::printf("arrow %.3f %.3f pixels %ld\n", p.x, p.y, n);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "project" && argc == 5)
        return cmdProject(argv + 2);
    Image img;
    if (argc > 2 &&
        (cmd == "pixel" || cmd == "count" || cmd == "board" || cmd == "arrow" || cmd == "text")) {
        if (!load(argv[2], img))
            return 2;
        if (cmd == "pixel" && argc == 5)
            return cmdPixel(img, std::atoi(argv[3]), std::atoi(argv[4]));
        if (cmd == "count" && argc == 8)
            return cmdCount(img, argv[3], std::atoi(argv[4]), std::atoi(argv[5]),
                            std::atoi(argv[6]), std::atoi(argv[7]));
        if (cmd == "board")
            return cmdBoard(img);
        if (cmd == "arrow")
            return cmdArrow(img);
        if (cmd == "text")
            return cmdText(img);
    }
    std::fprintf(stderr,
                 "usage: e2e_scene project X Y Z | pixel PNG C R | count PNG CLASS C0 R0 C1 R1"
                 " | board PNG | arrow PNG | text PNG\n");
    return 2;
}
