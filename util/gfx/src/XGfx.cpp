// XGfx: texture upload and drawing, the triangle test and the frame clock.
#include "util/XGfx.h"

#include "XImage.h"
#include "util/Vector3D.h"

#include <GL/gl.h>
#include <sys/time.h>

#include <algorithm>
#include <iostream>
#include <new>
#include <vector>

XGfx::TimeSample XGfx::ourPrevTime = {0, 0};
XGfx::TimeSample XGfx::ourCurrTime = {0, 0};
float XGfx::ourDeltaFactor = 1.0f;

namespace xgfx {
namespace {

// The upload step: fills the texture bound to GL_TEXTURE_2D. A null image
// means the previous step produced no bitmap.
bool loadTexture(const Image *bitmap) {
    if (!bitmap) {
        std::cerr << "[x-gfx]: error: UIImage == nil..." << std::endl;
        return false;
    }
    // The caller's unpack settings (row length, skips) would misread the
    // tightly packed rows; use the defaults for this one call.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, bitmap->width, bitmap->height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, bitmap->pixels.data());
    glPopClientAttrib();
    return true;
}

// The GL implementation's limit, capped by the loader's own.
int maxTextureSide() {
    GLint side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &side);
    return side > 0 ? std::min(static_cast<int>(side), kMaxImageSide) : kMaxImageSide;
}

double secondsOf(const XGfx::TimeSample &t) {
    return static_cast<double>(t.seconds) + static_cast<double>(t.microseconds) / 1000000.0;
}

} // namespace
} // namespace xgfx

bool XGfx::loadTexture(const std::string &path, XTexture *texture) {
    // The library throws nothing: memory running short anywhere in the load
    // is a failed load like any other, and the record is written only once
    // nothing more can throw.
    try {
        const int maxSide = xgfx::maxTextureSide();
        std::vector<unsigned char> bytes;
        xgfx::Image image;
        if (!xgfx::readFile(path, bytes) ||
            !xgfx::decodeImage(bytes.data(), bytes.size(), maxSide, image)) {
            std::cerr << "[x-gfx]: cannot load file: " << path << std::endl;
            return false;
        }
        std::vector<unsigned char>().swap(bytes); // the file is no longer needed
        if (!texture)
            return xgfx::loadTexture(&image);

        xgfx::Image resized;
        const bool resize = texture->resizeWidth > 0.0f && texture->resizeHeight > 0.0f;
        const bool resampled =
            resize && xgfx::resampleImage(image, texture->resizeWidth, texture->resizeHeight,
                                          maxSide, resized);
        texture->width = static_cast<float>(image.width);
        texture->height = static_cast<float>(image.height);
        if (!resize)
            return xgfx::loadTexture(&image);
        return xgfx::loadTexture(resampled ? &resized : nullptr);
    } catch (const std::bad_alloc &) {
        std::cerr << "[x-gfx]: cannot load file: " << path << std::endl;
        return false;
    }
}

void XGfx::drawTexture(const XTexture *texture) {
    if (!texture)
        return;
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(texture->srcBlend, texture->dstBlend);
    glDepthMask(texture->depthWrite ? GL_TRUE : GL_FALSE);
    if (texture->lighting)
        glEnable(GL_LIGHTING);
    else
        glDisable(GL_LIGHTING);
    glColor4fv(texture->color);
    glBindTexture(GL_TEXTURE_2D, texture->textureId);

    // The longer side is scale long and the sides keep the image's ratio.
    const float half = texture->scale / 2.0f;
    const float aspect = texture->width / texture->height;
    float hw = half, hh = half;
    if (aspect < 1.0f)
        hw = half * aspect;
    else
        hh = half / aspect;

    glBegin(GL_QUADS);
    glNormal3f(0.0f, 0.0f, 1.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-hw, -hh, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(hw, -hh, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(hw, hh, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-hw, hh, 0.0f);
    glEnd();

    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    if (!texture->depthWrite)
        glDepthMask(GL_TRUE);
    // Callers rely on lighting being flipped back, not restored: a lit
    // texture leaves lighting off, an unlit one leaves it on.
    if (texture->lighting)
        glDisable(GL_LIGHTING);
    else
        glEnable(GL_LIGHTING);
}

void XGfx::drawTextureUV(float x1, float y1, float x2, float y2, float s1, float t1, float s2,
                         float t2) {
    glBegin(GL_QUADS);
    glTexCoord2f(s1, t1);
    glVertex3f(x1, y2, 0.0f);
    glTexCoord2f(s2, t1);
    glVertex3f(x2, y2, 0.0f);
    glTexCoord2f(s2, t2);
    glVertex3f(x2, y1, 0.0f);
    glTexCoord2f(s1, t2);
    glVertex3f(x1, y1, 0.0f);
    glEnd();
}

// Barycentric coordinates of p along the edges a->c and a->b. A degenerate
// triangle makes the denominator 0 and the coordinates infinite or NaN,
// which every comparison below rejects.
bool XGfx::isPointInTriangle2D(const Vector3D &p, const Vector3D &a, const Vector3D &b,
                               const Vector3D &c) {
    const Vector3D e0 = c - a, e1 = b - a, e2 = p - a;
    const float d00 = e0 * e0, d01 = e0 * e1, d02 = e0 * e2;
    const float d11 = e1 * e1, d12 = e1 * e2;
    const float inv = 1.0f / (d00 * d11 - d01 * d01);
    const float u = (d11 * d02 - d01 * d12) * inv;
    const float v = (d00 * d12 - d01 * d02) * inv;
    return u > 0.0f && v > 0.0f && u + v < 1.0f;
}

double XGfx::getCurrentTime(bool sample) {
    if (sample) {
        ourPrevTime = ourCurrTime;
        timeval now{};
        ::gettimeofday(&now, nullptr);
        ourCurrTime.seconds = static_cast<std::int64_t>(now.tv_sec);
        ourCurrTime.microseconds = static_cast<std::int32_t>(now.tv_usec);
    }
    return xgfx::secondsOf(ourCurrTime);
}

void XGfx::resetCurrentTime() {
    ourPrevTime.seconds = 0;
    ourPrevTime.microseconds = 0;
}

float XGfx::delta() {
    const double prev = xgfx::secondsOf(ourPrevTime);
    const double curr = xgfx::secondsOf(ourCurrTime);
    const float step = prev == 0.0 ? 0.0f : static_cast<float>(curr - prev);
    return step * ourDeltaFactor;
}

void XGfx::setDeltaFactor(float factor) {
    ourDeltaFactor = factor;
}
