// The registration tables: readers and writers in registration order.

#include "pgraphic/formats/registry.h"

#if __has_include("pgraphic/formats/bmp.h")
#include "pgraphic/formats/bmp.h"
#define PG_HAVE_BMP 1
#endif
#if __has_include("pgraphic/formats/jpeg.h")
#include "pgraphic/formats/jpeg.h"
#define PG_HAVE_JPEG 1
#endif
#if __has_include("pgraphic/formats/png.h")
#include "pgraphic/formats/png.h"
#define PG_HAVE_PNG 1
#endif
#if __has_include("pgraphic/formats/pcx.h")
#include "pgraphic/formats/pcx.h"
#define PG_HAVE_PCX 1
#endif
#if __has_include("pgraphic/formats/pnm.h")
#include "pgraphic/formats/pnm.h"
#define PG_HAVE_PNM 1
#endif
#if __has_include("pgraphic/formats/tga.h")
#include "pgraphic/formats/tga.h"
#define PG_HAVE_TGA 1
#endif
#if __has_include("pgraphic/formats/tiff.h")
#include "pgraphic/formats/tiff.h"
#define PG_HAVE_TIFF 1
#endif

template <class T, class List>
static void Add(List& list) {
  list.push_back(std::make_unique<T>());
}

void RegisterReaders(TReaderList& r) {
#ifdef PG_HAVE_BMP
  Add<TBMPFileFormatReader>(r);
  Add<TDIBFileFormatReader>(r);
  Add<TRLEFileFormatReader>(r);
#endif
#ifdef PG_HAVE_JPEG
  Add<TJPGFileFormatReader>(r);
  Add<TJPEGFileFormatReader>(r);
  Add<TJIFFileFormatReader>(r);
#endif
#ifdef PG_HAVE_PNG
  Add<TPNGFileFormatReader>(r);
#endif
#ifdef PG_HAVE_PCX
  Add<TPCXFileFormatReader>(r);
#endif
#ifdef PG_HAVE_PNM
  Add<TPBMFileFormatReader>(r);
  Add<TPGMFileFormatReader>(r);
  Add<TPPMFileFormatReader>(r);
#endif
#ifdef PG_HAVE_TGA
  Add<TTGAFileFormatReader>(r);
#endif
#ifdef PG_HAVE_TIFF
  Add<TTIFFileFormatReader>(r);
  Add<TTIFFFileFormatReader>(r);
#endif
  (void)r;
}

void RegisterWriters(TWriterList& w) {
#ifdef PG_HAVE_BMP
  Add<TBMPFileFormatWriter>(w);
  Add<TDIBFileFormatWriter>(w);
#endif
#ifdef PG_HAVE_JPEG
  Add<TJPGFileFormatWriter>(w);
  Add<TJPEGFileFormatWriter>(w);
  Add<TJIFFileFormatWriter>(w);
#endif
#ifdef PG_HAVE_PNG
  Add<TPNGFileFormatWriter>(w);
#endif
#ifdef PG_HAVE_PNM
  Add<TPBMFileFormatWriter>(w);
  Add<TPGMFileFormatWriter>(w);
  Add<TPPMFileFormatWriter>(w);
#endif
#ifdef PG_HAVE_TGA
  Add<TTGAFileFormatWriter>(w);
#endif
#ifdef PG_HAVE_TIFF
  Add<TTIFFileFormatWriter>(w);
  Add<TTIFFFileFormatWriter>(w);
#endif
  (void)w;
}

std::unique_ptr<TFileFormatWriter> MakeDefaultWriter() {
#ifdef PG_HAVE_BMP
  return std::make_unique<TBMPFileFormatWriter>();
#else
  return nullptr;
#endif
}
