// XGfx: texture loading and drawing, a point-in-triangle test and a frame
// clock, as static members of a class without instances; XTexture describes
// one texture for loading and drawing.
//
// The texture functions need the calling thread's current OpenGL context.
// The clock's members are shared and unsynchronised: sample and read it on
// one thread. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>

class Vector3D;

// A plain record filled by its user (XTexture t{} starts all zero); the
// loader writes only width and height. The GL enums and names are kept as
// fixed-width integers so this header needs no GL headers.
struct XTexture {
    std::uint32_t textureId; // texture name bound while drawing
    float scale;             // length of the drawn quad's longer side
    float color[4];          // RGBA set while drawing
    float width;             // the image's size as decoded (only the
    float height;            // ratio matters for drawing)
    float resizeWidth;       // resampled size before upload; used only
    float resizeHeight;      // when both are above 0
    std::uint32_t srcBlend;  // glBlendFunc factors while drawing
    std::uint32_t dstBlend;
    bool depthWrite; // depth writes while drawing
    bool lighting;   // lighting while drawing
};

class XGfx {
  public:
    XGfx() = delete;

    // A clock sample as gettimeofday gives it.
    struct TimeSample {
        std::int64_t seconds;
        std::int32_t microseconds;
    };

    static TimeSample ourPrevTime; // the sample before the latest one
    static TimeSample ourCurrTime; // the latest sample
    static float ourDeltaFactor;   // applied to every time step, 1 at start

    // Decodes the image file at path (PNG, the first frame of a GIF, or BMP;
    // JPEG is refused) and uploads it as 8-bit RGBA with premultiplied alpha,
    // bottom row first, into whatever texture is bound to GL_TEXTURE_2D. It
    // binds nothing and sets no texture parameters. With a record, stores the
    // decoded size in width and height and resamples first when both resize
    // fields are above 0. Gives false, with one "[x-gfx]: " line on standard
    // error, for a file that cannot be read or decoded, or is larger than the
    // GL implementation (and at most 8192 pixels a side) allows, and for a
    // resampled size that is not usable.
    static bool loadTexture(const std::string &path, XTexture *texture);

    // Draws the texture as a quad centred on the origin in the plane z = 0,
    // its longer side scale long, with the record's blending, depth writes,
    // lighting and colour. Afterwards texturing and blending are off, depth
    // writes are on and lighting is the opposite of the record's flag; the
    // colour and binding stay. A null record draws nothing.
    static void drawTexture(const XTexture *texture);
    // One quad in z = 0 from (x1, y2) with (s1, t1) round to (x1, y1) with
    // (s1, t2); all other GL state is the caller's.
    static void drawTextureUV(float x1, float y1, float x2, float y2, float s1, float t1, float s2,
                              float t2);

    // True when p projects strictly inside the triangle a, b, c (points on
    // an edge or corner are outside; a degenerate triangle contains nothing).
    static bool isPointInTriangle2D(const Vector3D &p, const Vector3D &a, const Vector3D &b,
                                    const Vector3D &c);

    // With sample, shifts the latest sample into the previous one and takes a
    // new one; returns the latest sample in seconds.
    static double getCurrentTime(bool sample);
    // Forgets the previous sample, so delta() is 0 until the next sample.
    static void resetCurrentTime();
    // Scaled seconds between the last two samples, 0 without a previous one.
    static float delta();
    static void setDeltaFactor(float factor);
};
