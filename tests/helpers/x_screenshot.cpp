// Writes the whole X screen ($DISPLAY) as a PNG file, for the dialog check under Xvfb.
//
//   x_screenshot <file.png>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: x_screenshot <file.png>\n");
        return 1;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "x_screenshot: no display\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage* image = XGetImage(display, root, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image) {
        XCloseDisplay(display);
        std::fprintf(stderr, "x_screenshot: cannot read the screen\n");
        return 1;
    }
    const int width = attributes.width;
    const int height = attributes.height;
    std::vector<png_byte> rows(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            png_byte* out = &rows[(static_cast<size_t>(y) * width + x) * 3];
            out[0] = static_cast<png_byte>((pixel & image->red_mask) >> 16);
            out[1] = static_cast<png_byte>((pixel & image->green_mask) >> 8);
            out[2] = static_cast<png_byte>(pixel & image->blue_mask);
        }
    }
    XDestroyImage(image);
    XCloseDisplay(display);

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(width);
    png.height = static_cast<png_uint_32>(height);
    png.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&png, argv[1], 0, rows.data(), 0, nullptr)) {
        std::fprintf(stderr, "x_screenshot: %s\n", png.message);
        return 1;
    }
    return 0;
}
