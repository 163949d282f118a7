/* png-compose: lays PNG pictures side by side into one PNG, for the
 * gallery of docs/guide.md.
 *
 *   png-compose [-g GAP] OUT.png [-c X,Y,W,H] [-z N] IN.png ...
 *
 * The pictures are placed left to right, top-aligned, GAP (default 4)
 * white columns apart; a shorter picture is padded with white below.
 * -c crops the next picture to the W x H rectangle at (X, Y); -z enlarges
 * the next picture (after its crop) N times by repeating pixels, so that
 * detail stays sharp. Pixels are copied exactly: the result is written as
 * 8-bit greyscale when every pixel has R = G = B, as 8-bit RGB otherwise,
 * with no time stamp, so that the same inputs give the same bytes.
 *
 * Exit status: 0 on success, 2 for a usage error, 1 when a file cannot be
 * read or written. */
#include <png.h>

#include <errno.h>
#include <limits.h>
#include <setjmp.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kMaxInputs = 64, kMaxSide = 16384, kMaxZoom = 16 };

typedef struct {
  uint32_t width, height;
  uint8_t* rgb; /* width * height * 3 bytes */
} Picture;

typedef struct {
  const char* path;
  int cropped;
  uint32_t x, y, width, height;
  uint32_t zoom;
} Input;

static const char* program = "png-compose";
/* The output while it is being written, removed when writing fails. */
static const char* partial_output = NULL;

static void Usage(const char* message) {
  fprintf(stderr, "%s: %s\n", program, message);
  fprintf(stderr, "usage: %s [-g GAP] OUT.png [-c X,Y,W,H] [-z N] IN.png ...\n", program);
  exit(2);
}

static void Fail(const char* path, const char* message) {
  fprintf(stderr, "%s: %s: %s\n", program, path, message);
  if (partial_output != NULL) remove(partial_output);
  exit(1);
}

static int ParseCount(const char* text, uint32_t min, uint32_t max, uint32_t* value) {
  char* end = NULL;
  errno = 0;
  const unsigned long v = strtoul(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || text[0] == '-' || v < min || v > max) return 0;
  *value = (uint32_t)v;
  return 1;
}

static int ParseCrop(const char* text, Input* input) {
  unsigned long v[4];
  const char* p = text;
  for (int i = 0; i < 4; ++i) {
    char* end = NULL;
    if (*p < '0' || *p > '9') return 0;
    errno = 0;
    v[i] = strtoul(p, &end, 10);
    if (errno != 0 || v[i] > kMaxSide || *end != (i < 3 ? ',' : '\0')) return 0;
    p = end + (i < 3);
  }
  if (v[2] == 0 || v[3] == 0) return 0;
  input->cropped = 1;
  input->x = (uint32_t)v[0];
  input->y = (uint32_t)v[1];
  input->width = (uint32_t)v[2];
  input->height = (uint32_t)v[3];
  return 1;
}

static void* Allocate(size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) Fail("memory", "picture too large");
  void* block = calloc(count == 0 ? 1 : count, size);
  if (block == NULL) Fail("memory", "out of memory");
  return block;
}

static void OnPngError(png_structp png, png_const_charp message) {
  fprintf(stderr, "%s: PNG error: %s\n", program, message);
  png_longjmp(png, 1);
}

static void OnPngWarning(png_structp png, png_const_charp message) {
  (void)png;
  (void)message;
}

/* Reads any PNG as 8-bit RGB: palette and grey expanded, 16 bits reduced,
 * alpha dropped. */
static Picture ReadPng(const char* path) {
  Picture picture = {0, 0, NULL};
  FILE* file = fopen(path, "rb");
  if (file == NULL) Fail(path, strerror(errno));
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, NULL, OnPngError, OnPngWarning);
  png_infop info = png != NULL ? png_create_info_struct(png) : NULL;
  if (info == NULL) Fail(path, "out of memory");
  png_bytep* rows = NULL;
  if (setjmp(png_jmpbuf(png)) != 0) Fail(path, "not a readable PNG");
  png_init_io(png, file);
  png_read_info(png, info);
  const uint32_t width = png_get_image_width(png, info);
  const uint32_t height = png_get_image_height(png, info);
  if (width > kMaxSide || height > kMaxSide) Fail(path, "picture larger than 16384 pixels");
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_gray_to_rgb(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != (size_t)width * 3) Fail(path, "unexpected pixel layout");
  picture.width = width;
  picture.height = height;
  picture.rgb = Allocate((size_t)width * height, 3);
  rows = Allocate(height, sizeof *rows);
  for (uint32_t y = 0; y < height; ++y) rows[y] = picture.rgb + (size_t)y * width * 3;
  png_read_image(png, rows);
  png_read_end(png, NULL);
  png_destroy_read_struct(&png, &info, NULL);
  free(rows);
  fclose(file);
  return picture;
}

/* The input as it is placed: cropped, then enlarged. */
static Picture Prepare(const Input* input) {
  Picture source = ReadPng(input->path);
  uint32_t x0 = 0, y0 = 0, w = source.width, h = source.height;
  if (input->cropped) {
    if (input->x > source.width || input->width > source.width - input->x ||
        input->y > source.height || input->height > source.height - input->y) {
      Fail(input->path, "crop rectangle outside the picture");
    }
    x0 = input->x;
    y0 = input->y;
    w = input->width;
    h = input->height;
  }
  const uint32_t zoom = input->zoom;
  if (w * zoom > kMaxSide || h * zoom > kMaxSide) Fail(input->path, "enlarged picture too large");
  Picture placed = {w * zoom, h * zoom, NULL};
  placed.rgb = Allocate((size_t)placed.width * placed.height, 3);
  for (uint32_t y = 0; y < placed.height; ++y) {
    for (uint32_t x = 0; x < placed.width; ++x) {
      const uint8_t* from = source.rgb + (((size_t)(y0 + y / zoom) * source.width) + x0 + x / zoom) * 3;
      memcpy(placed.rgb + ((size_t)y * placed.width + x) * 3, from, 3);
    }
  }
  free(source.rgb);
  return placed;
}

static int IsGrey(const Picture* picture) {
  const size_t pixels = (size_t)picture->width * picture->height;
  for (size_t i = 0; i < pixels; ++i) {
    const uint8_t* p = picture->rgb + i * 3;
    if (p[0] != p[1] || p[1] != p[2]) return 0;
  }
  return 1;
}

/* The libpng calls of WritePng; libpng reports an error by a long jump
 * back here, and nothing is changed between the jump's set-up and it. */
static void WriteImage(FILE* file, const char* path, const Picture* picture, int grey,
                       uint8_t* row) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, OnPngError, OnPngWarning);
  png_infop info = png != NULL ? png_create_info_struct(png) : NULL;
  if (info == NULL) Fail(path, "out of memory");
  if (setjmp(png_jmpbuf(png)) != 0) Fail(path, "cannot write the PNG");
  png_init_io(png, file);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, picture->width, picture->height, 8,
               grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (uint32_t y = 0; y < picture->height; ++y) {
    const uint8_t* src = picture->rgb + (size_t)y * picture->width * 3;
    if (grey) {
      for (uint32_t x = 0; x < picture->width; ++x) row[x] = src[(size_t)x * 3];
      png_write_row(png, row);
    } else {
      png_write_row(png, src);
    }
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
}

static void WritePng(const char* path, const Picture* picture) {
  const int grey = IsGrey(picture);
  uint8_t* row = Allocate(picture->width, grey ? 1 : 3);
  FILE* file = fopen(path, "wb");
  if (file == NULL) Fail(path, strerror(errno));
  partial_output = path;
  WriteImage(file, path, picture, grey, row);
  if (fclose(file) != 0) Fail(path, strerror(errno));
  partial_output = NULL;
  free(row);
}

int main(int argc, char** argv) {
  uint32_t gap = 4;
  int arg = 1;
  if (arg < argc && strcmp(argv[arg], "-g") == 0) {
    if (arg + 1 >= argc || !ParseCount(argv[arg + 1], 0, 1024, &gap)) Usage("-g wants 0 ... 1024");
    arg += 2;
  }
  if (arg >= argc) Usage("no output named");
  const char* output = argv[arg++];

  Input inputs[kMaxInputs];
  int count = 0;
  Input next = {NULL, 0, 0, 0, 0, 0, 1};
  for (; arg < argc; ++arg) {
    if (strcmp(argv[arg], "-c") == 0) {
      if (arg + 1 >= argc || !ParseCrop(argv[arg + 1], &next)) Usage("-c wants X,Y,W,H with W, H > 0");
      ++arg;
    } else if (strcmp(argv[arg], "-z") == 0) {
      if (arg + 1 >= argc || !ParseCount(argv[arg + 1], 1, kMaxZoom, &next.zoom)) {
        Usage("-z wants 1 ... 16");
      }
      ++arg;
    } else {
      if (count == kMaxInputs) Usage("too many pictures");
      next.path = argv[arg];
      inputs[count++] = next;
      const Input fresh = {NULL, 0, 0, 0, 0, 0, 1};
      next = fresh;
    }
  }
  if (count == 0) Usage("no pictures to compose");
  if (next.cropped || next.zoom != 1) Usage("-c or -z without a picture after it");

  Picture parts[kMaxInputs];
  uint64_t width = 0;
  uint32_t height = 0;
  for (int i = 0; i < count; ++i) {
    parts[i] = Prepare(&inputs[i]);
    width += parts[i].width + (i > 0 ? gap : 0);
    if (parts[i].height > height) height = parts[i].height;
  }
  if (width > kMaxSide) Fail(output, "composed picture wider than 16384 pixels");

  Picture sheet = {(uint32_t)width, height, NULL};
  sheet.rgb = Allocate((size_t)sheet.width * sheet.height, 3);
  memset(sheet.rgb, 0xFF, (size_t)sheet.width * sheet.height * 3);
  uint32_t left = 0;
  for (int i = 0; i < count; ++i) {
    for (uint32_t y = 0; y < parts[i].height; ++y) {
      memcpy(sheet.rgb + ((size_t)y * sheet.width + left) * 3,
             parts[i].rgb + (size_t)y * parts[i].width * 3, (size_t)parts[i].width * 3);
    }
    left += parts[i].width + gap;
    free(parts[i].rgb);
  }
  WritePng(output, &sheet);
  free(sheet.rgb);
  return 0;
}
