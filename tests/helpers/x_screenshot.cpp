// Writes the whole X screen ($DISPLAY) as a PNG file, for the dialog check under Xvfb;
// with --mean, prints the mean brightness (0 to 255) of a rectangle of it instead.
//
//   x_screenshot <file.png>
//   x_screenshot --mean <x> <y> <width> <height>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const bool mean = argc == 6 && std::string(argv[1]) == "--mean";
    if (argc != 2 && !mean) {
        std::fprintf(stderr, "usage: x_screenshot <file.png> | --mean <x> <y> <width> <height>\n");
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

    if (mean) {
        const int left = std::max(0, std::atoi(argv[2]));
        const int top = std::max(0, std::atoi(argv[3]));
        const int right = std::min(width, left + std::atoi(argv[4]));
        const int bottom = std::min(height, top + std::atoi(argv[5]));
        double sum = 0.0;
        long count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x, ++count)
                for (int c = 0; c < 3; ++c)
                    sum += rows[(static_cast<size_t>(y) * width + x) * 3 + c];
        if (count == 0) {
            std::fprintf(stderr, "x_screenshot: the rectangle is off the screen\n");
            return 1;
        }
        std::printf("%d\n", static_cast<int>(sum / (3.0 * static_cast<double>(count)) + 0.5));
        return 0;
    }

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
