// Kept apart: the X headers define macros (None, Bool, Status) that clash
// with GoogleTest's.
#include <string>
#include <vector>

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

std::string currentWindowTitle() {
    char *title = nullptr;
    if (XFetchName(glXGetCurrentDisplay(), glXGetCurrentDrawable(), &title) == 0 || !title)
        return {};
    std::string copy = title;
    XFree(title);
    return copy;
}

// What the X server shows in the current window, as rows of RGB from the top.
std::vector<unsigned char> currentWindowImage(int width, int height) {
    std::vector<unsigned char> rgb(static_cast<size_t>(width * height * 3), 0);
    Display *display = glXGetCurrentDisplay();
    XSync(display, False);
    XImage *image = XGetImage(display, glXGetCurrentDrawable(), 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr)
        return rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            unsigned char *out = &rgb[static_cast<size_t>((y * width + x) * 3)];
            out[0] = static_cast<unsigned char>((p & image->red_mask) >> 16);
            out[1] = static_cast<unsigned char>((p & image->green_mask) >> 8);
            out[2] = static_cast<unsigned char>(p & image->blue_mask);
        }
    XDestroyImage(image);
    return rgb;
}
