// The registration tables: readers and writers in registration order.

#include "pgraphic/formats/registry.h"

#include "pgraphic/formats/bmp.h"
#include "pgraphic/formats/jpeg/jpeg.h"
#include "pgraphic/formats/png/png.h"
#include "pgraphic/formats/png/png8.h"
#include "pgraphic/formats/pcx.h"
#include "pgraphic/formats/pnm.h"
#include "pgraphic/formats/tga.h"
#include "pgraphic/formats/tiff/tiff.h"
#include "pgraphic/formats/webp.h"

template <class T, class List>
static void Add(List& list) {
  list.push_back(std::make_unique<T>());
}

void RegisterReaders(TReaderList& r) {
  Add<TBMPFileFormatReader>(r);
  Add<TDIBFileFormatReader>(r);
  Add<TRLEFileFormatReader>(r);
  Add<TJPGFileFormatReader>(r);
  Add<TJPEGFileFormatReader>(r);
  Add<TJIFFileFormatReader>(r);
  Add<TPNGFileFormatReader>(r);
  Add<TPCXFileFormatReader>(r);
  Add<TPBMFileFormatReader>(r);
  Add<TPGMFileFormatReader>(r);
  Add<TPPMFileFormatReader>(r);
  Add<TTGAFileFormatReader>(r);
  Add<TTIFFileFormatReader>(r);
  Add<TTIFFFileFormatReader>(r);
  Add<TWebPFileFormatReader>(r);
}

void RegisterWriters(TWriterList& w) {
  Add<TBMPFileFormatWriter>(w);
  Add<TDIBFileFormatWriter>(w);
  Add<TJPGFileFormatWriter>(w);
  Add<TJPEGFileFormatWriter>(w);
  Add<TJIFFileFormatWriter>(w);
  Add<TPNGFileFormatWriter>(w);
  Add<TPBMFileFormatWriter>(w);
  Add<TPGMFileFormatWriter>(w);
  Add<TPPMFileFormatWriter>(w);
  Add<TTGAFileFormatWriter>(w);
  Add<TTIFFileFormatWriter>(w);
  Add<TTIFFFileFormatWriter>(w);
  Add<TWebPFileFormatWriter>(w);
  Add<TPNG8FileFormatWriter>(w);
}

std::unique_ptr<TFileFormatWriter> MakeDefaultWriter() {
  return std::make_unique<TBMPFileFormatWriter>();
}
