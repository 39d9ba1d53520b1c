/* The C interface of velmora-heif.dll, Velmora's HEIF/HEIC decoder (libheif with libde265
   inside, linked statically). Plain C types only, UTF-8 paths, every failure a status code.
   The program loads the DLL by its full path (imaging/heif_decoder.h) and never links it. */
#ifndef VELMORA_HEIF_H
#define VELMORA_HEIF_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VELMORA_HEIF_BUILDING)
#define VELMORA_HEIF_API __declspec(dllexport)
#else
#define VELMORA_HEIF_API
#endif

/* The interface revision this header describes; the DLL reports its own through
   velmora_heif_interface(), and a loader refuses a DLL of another revision. */
#define VELMORA_HEIF_INTERFACE 1

/* The most pixels (upright width x height) a primary image may have to be decoded: 64 MP,
   192 MB as 8-bit RGB. Larger images are refused with VELMORA_HEIF_TOO_LARGE before any
   pixel is decoded. */
#define VELMORA_HEIF_MAX_PIXELS (64u * 1024u * 1024u)

enum VelmoraHeifStatus {
  VELMORA_HEIF_OK = 0,
  VELMORA_HEIF_BAD_ARGUMENT = 1, /* a null pointer, a row range outside the image, ... */
  VELMORA_HEIF_UNREADABLE = 2,   /* the file could not be opened or read */
  VELMORA_HEIF_NOT_HEIF = 3,     /* no HEIF file (no ftyp box of a HEIF brand) */
  VELMORA_HEIF_UNSUPPORTED = 4,  /* a HEIF file whose primary image is no HEVC picture
                                    (AV1, JPEG, uncompressed) or uses a feature not built in */
  VELMORA_HEIF_DAMAGED = 5,      /* the structure or the coded picture is broken */
  VELMORA_HEIF_TOO_LARGE = 6,    /* more than VELMORA_HEIF_MAX_PIXELS */
  VELMORA_HEIF_NO_MEMORY = 7,    /* memory for the decode could not be had */
  VELMORA_HEIF_NOT_DECODED = 8   /* rows asked for before a successful decode */
};

/* Byte order of the 8-bit interleaved rows the decode gives. */
enum VelmoraHeifOrder { VELMORA_HEIF_RGB = 0, VELMORA_HEIF_BGR = 1 };

typedef struct VelmoraHeif VelmoraHeif;

typedef struct VelmoraHeifInfo {
  uint32_t Width; /* primary image, upright: after the file's rotation, mirror, crop */
  uint32_t Height;
  int32_t HasAlpha;         /* 1 when the image has an alpha plane (the decode lays it on white) */
  int32_t BitDepth;         /* luma bits per sample as coded (8, 10, 12); the decode gives 8 */
  uint32_t ExifBytes;       /* size of velmora_heif_exif's block, 0 without EXIF */
  uint32_t IccBytes;        /* size of the ICC profile, 0 without one */
  int32_t HasNclx;          /* 1 when the colours are described by code points instead */
  uint16_t ColourPrimaries; /* the nclx code points (ITU-T H.273), when HasNclx */
  uint16_t TransferCharacteristics;
  uint16_t MatrixCoefficients;
  uint16_t FullRange;
} VelmoraHeifInfo;

/* The interface revision of the DLL (VELMORA_HEIF_INTERFACE when it matches this header). */
VELMORA_HEIF_API uint32_t velmora_heif_interface(void);

/* Opens the file at the UTF-8 path, or a copy of size bytes at data, and reads its structure
   (no pixels yet). On success *out is a handle for velmora_heif_close; on failure it is
   null and the status says why. */
VELMORA_HEIF_API int velmora_heif_open_file(const char* utf8Path, VelmoraHeif** out);
VELMORA_HEIF_API int velmora_heif_open_bytes(const void* data, size_t size, VelmoraHeif** out);

/* The primary image's facts (no decoding). */
VELMORA_HEIF_API int velmora_heif_info(const VelmoraHeif* heif, VelmoraHeifInfo* info);

/* Copies the primary image's EXIF block (a TIFF structure, starting with "II*\0" or
   "MM\0*") or its ICC profile into buffer, which must hold info's ExifBytes / IccBytes. */
VELMORA_HEIF_API int velmora_heif_exif(const VelmoraHeif* heif, void* buffer, size_t size);
VELMORA_HEIF_API int velmora_heif_icc(const VelmoraHeif* heif, void* buffer, size_t size);

/* Decodes the primary image upright (rotation and mirroring as the file says) into the
   handle, as 8-bit samples; an alpha plane is laid over white when rows are read. Peak memory
   is about 3 (4 with alpha) bytes per pixel plus the coded planes of one image. */
VELMORA_HEIF_API int velmora_heif_decode(VelmoraHeif* heif);

/* Copies count decoded rows from row first on, each width x 3 bytes in the order given, into
   out (row i at out + i x stride). */
VELMORA_HEIF_API int velmora_heif_rows(const VelmoraHeif* heif, uint32_t first, uint32_t count,
                                       int order, uint8_t* out, size_t stride);

/* Frees the decoded pixels (the facts stay). */
VELMORA_HEIF_API void velmora_heif_release_pixels(VelmoraHeif* heif);

/* Closes the handle and frees everything it holds; null is allowed. */
VELMORA_HEIF_API void velmora_heif_close(VelmoraHeif* heif);

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_HEIF_H */
