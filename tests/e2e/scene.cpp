// e2e_scene: reads the game's scene off a screenshot.
//
//   e2e_scene project X Y Z          window pixel (column, row from the top) of
//                                    a world point in an 800 x 800 window
//   e2e_scene pixel PNG COL ROW      "R G B CLASS" of one pixel
//   e2e_scene count PNG CLASS C0 R0 C1 R1
//                                    pixels of CLASS in the box [C0,C1) x [R0,R1)
//   e2e_scene board PNG              checks the board's centre and rings
//   e2e_scene arrow PNG              "arrow X Y pixels N": where the arrow's
//                                    front end meets the board, in board units
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

struct Vec { double x, y, z; };
Vec sub(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec unit(Vec a) { double l = std::sqrt(dot(a, a)); return {a.x / l, a.y / l, a.z / l}; }

using Mat = double[4][4];

void lookAt(Mat m, Vec eye, Vec centre, Vec up) {
    Vec f = unit(sub(centre, eye)), s = unit(cross(f, up)), u = cross(s, f);
    const Vec rows[3] = {s, u, {-f.x, -f.y, -f.z}};
    for (int r = 0; r < 3; ++r) {
        m[r][0] = rows[r].x; m[r][1] = rows[r].y; m[r][2] = rows[r].z;
        m[r][3] = -dot(rows[r], eye);
    }
    m[3][0] = m[3][1] = m[3][2] = 0.0; m[3][3] = 1.0;
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
    if (w <= 0.0) return false;
    col = (f / aspect * twice[0] / w + 1.0) / 2.0 * width;
    row = (1.0 - f * twice[1] / w) / 2.0 * height;
    return true;
}

// The point of the board's plane z = 0 seen at a window pixel (Newton steps
// on the plane-to-window map, which is smooth and nearly linear here).
Vec unproject(double col, double row, double width, double height) {
    Vec p{0, 0, 0};
    for (int it = 0; it < 20; ++it) {
        double c0, r0, cx, rx, cy, ry, h = 1e-4;
        project(p, width, height, c0, r0);
        project({p.x + h, p.y, 0}, width, height, cx, rx);
        project({p.x, p.y + h, 0}, width, height, cy, ry);
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
    const unsigned char *at(int c, int r) const { return &rgb[3 * (static_cast<size_t>(r) * width + c)]; }
};

bool load(const char *png, Image &img) {
    std::string cmd = std::string("convert '") + png + "' -depth 8 ppm:-";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return false;
    int maxval = 0;
    bool ok = std::fscanf(p, "P6 %d %d %d", &img.width, &img.height, &maxval) == 3 && maxval == 255;
    if (ok) {
        std::fgetc(p);
        img.rgb.resize(static_cast<size_t>(img.width) * img.height * 3);
        ok = std::fread(img.rgb.data(), 1, img.rgb.size(), p) == img.rgb.size();
    }
    pclose(p);
    if (!ok) std::fprintf(stderr, "e2e_scene: cannot read %s\n", png);
    return ok;
}

// Hue classes of the lit scene: the board's blue (0, 0, 0.8) and red
// (0.8, 0, 0), the black background, white text, the pale-yellow corner disks
// (1, 1, 0.8) and the arrow's shaft (1, 0.9, 0.7) and point (0.5, 0.5, 0.5),
// which shade from dim to bright.
const char *classify(const unsigned char *p) {
    int r = p[0], g = p[1], b = p[2];
    int hi = std::max(r, std::max(g, b));
    if (hi < 40) return "dark";
    if (b > 2 * r && b > 2 * g) return "blue";
    if (r > 2 * g && r > 2 * b) return "red";
    if (r > 200 && g > 200 && b > 200) return "white";
    if (r > 200 && g > 200 && b > 120) return "yellow";
    if (g >= r * 6 / 10 && b <= g + 10 && b >= r * 3 / 10) return "arrow";
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
    if (c < 0 || r < 0 || c >= img.width || r >= img.height) return 1;
    const unsigned char *p = img.at(c, r);
    std::printf("%d %d %d %s\n", p[0], p[1], p[2], classify(p));
    return 0;
}

int cmdCount(const Image &img, const char *cls, int c0, int r0, int c1, int r1) {
    long n = 0;
    for (int r = std::max(0, r0); r < std::min(r1, img.height); ++r)
        for (int c = std::max(0, c0); c < std::min(c1, img.width); ++c)
            if (std::strcmp(classify(img.at(c, r)), cls) == 0) ++n;
    std::printf("%ld\n", n);
    return 0;
}

// The class seen at a board point, looked up at its projected pixel.
const char *seenAt(const Image &img, double x, double y, double z) {
    double c, r;
    if (!project({x, y, z}, img.width, img.height, c, r)) return "none";
    int ci = static_cast<int>(c), ri = static_cast<int>(r);
    if (ci < 0 || ri < 0 || ci >= img.width || ri >= img.height) return "none";
    return classify(img.at(ci, ri));
}

// The rings seen at the middle of each band, on four radii (left, right, up
// and down), and the dark space just outside the board. The centre is looked
// at beside the very middle, where a resting arrow covers a few pixels.
int cmdBoard(const Image &img) {
    struct Band { double radius; const char *cls; };
    const Band bands[] = {{0.012, "blue"}, {0.04, "red"}, {0.095, "blue"}, {0.185, "red"},
                          {0.305, "blue"}, {0.435, "red"}, {0.56, "dark"}};
    const double dirs[4][2] = {{-1, 0}, {1, 0}, {0, 1}, {0, -1}};
    int bad = 0;
    for (const Band &band : bands)
        for (const auto &d : dirs) {
            double z = band.radius < 0.02 ? 0.01 : 0.0;
            const char *seen = seenAt(img, d[0] * band.radius, d[1] * band.radius, z);
            if (std::strcmp(seen, band.cls) != 0) {
                std::printf("at (%.3f, %.3f): %s, expected %s\n", d[0] * band.radius,
                            d[1] * band.radius, seen, band.cls);
                ++bad;
            }
        }
    double left, right, row;
    project({-0.5, 0, 0}, img.width, img.height, left, row);
    project({0.5, 0, 0}, img.width, img.height, right, row);
    std::printf("board span %.0f of %d pixels, %d mismatches\n", right - left, img.width, bad);
    return bad == 0 ? 0 : 1;
}

// The arrow's front end is the arrow pixel on the board nearest to the
// vanishing point of the z axis: the shaft runs from there back towards the
// viewer, which the perspective spreads away from that point.
int cmdArrow(const Image &img) {
    double vc, vr, cc, cr, ec, er;
    project({0, 0, -1e5}, img.width, img.height, vc, vr);
    project({0, 0, 0}, img.width, img.height, cc, cr);
    project({0.52, 0, 0}, img.width, img.height, ec, er);
    const double boardRadius = ec - cc;
    long n = 0;
    double best = 1e18, bc = 0, br = 0;
    for (int r = 0; r < img.height; ++r)
        for (int c = 0; c < img.width; ++c) {
            if (std::hypot(c - cc, r - cr) > boardRadius) continue;
            if (std::strcmp(classify(img.at(c, r)), "arrow") != 0) continue;
            ++n;
            double d = std::hypot(c + 0.5 - vc, r + 0.5 - vr);
            if (d < best) { best = d; bc = c + 0.5; br = r + 0.5; }
        }
    if (n == 0) {
        std::printf("arrow none\n");
        return 1;
    }
    Vec p = unproject(bc, br, img.width, img.height);
    std::printf("arrow %.3f %.3f pixels %ld\n", p.x, p.y, n);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "project" && argc == 5) return cmdProject(argv + 2);
    Image img;
    if (argc > 2 && (cmd == "pixel" || cmd == "count" || cmd == "board" || cmd == "arrow")) {
        if (!load(argv[2], img)) return 2;
        if (cmd == "pixel" && argc == 5) return cmdPixel(img, std::atoi(argv[3]), std::atoi(argv[4]));
        if (cmd == "count" && argc == 8)
            return cmdCount(img, argv[3], std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]),
                            std::atoi(argv[7]));
        if (cmd == "board") return cmdBoard(img);
        if (cmd == "arrow") return cmdArrow(img);
    }
    std::fprintf(stderr, "usage: e2e_scene project X Y Z | pixel PNG C R | count PNG CLASS C0 R0 C1 R1"
                         " | board PNG | arrow PNG\n");
    return 2;
}
