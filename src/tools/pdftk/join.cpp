// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/pdftk/join.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFWriter.hh>

#include <memory>
#include <optional>
#include <stdexcept>

#include "host/vb/error.h"
#include "host/win/whole_file.h"
#include "tools/pdftk/join_writer.h"

namespace fs = std::filesystem;

namespace pdftk {

namespace {

// An input as qpdf reads it. An encrypted input is first written out decrypted, into
// memory, by qpdf, so that its strings and streams are copied as plain as they read.
struct Source {
  std::unique_ptr<QPDF> pdf;
  std::shared_ptr<Buffer> plain;  // what pdf reads from when the input was encrypted
};

Source open_input(const fs::path& path) {
  Source source;
  source.pdf = std::make_unique<QPDF>();
  source.pdf->setSuppressWarnings(true);
  source.pdf->processFile(path.c_str());
  if (!source.pdf->isEncrypted()) return source;
  QPDFWriter decrypted(*source.pdf);
  decrypted.setOutputMemory();
  decrypted.setPreserveEncryption(false);
  decrypted.write();
  source.plain = decrypted.getBufferSharedPointer();
  auto plain = std::make_unique<QPDF>();
  plain->setSuppressWarnings(true);
  plain->processMemoryFile(path.c_str(), reinterpret_cast<const char*>(source.plain->getBuffer()),
                           source.plain->getSize());
  source.pdf = std::move(plain);
  return source;
}

// Runs step, a fault of an input's reading named with the input, one of the output's
// writing with the output.
template <class Step>
void reading(const Input& in, const std::string& output, Step step) {
  try {
    step();
  } catch (const WriteError& e) {
    throw Failure(1, "cannot write '" + output + "': " + e.what());
  } catch (const QPDFExc& e) {
    throw Failure(1, "cannot read '" + in.shown + "': " + e.getMessageDetail());
  } catch (const std::exception& e) {
    throw Failure(1, "cannot read '" + in.shown + "': " + e.what());
  }
}

template <class Step>
void writing(const std::string& output, Step step) {
  try {
    step();
  } catch (const Failure&) {
    throw;
  } catch (const host::vb::Error& e) {
    throw Failure(1, e.description());
  } catch (const std::exception& e) {
    throw Failure(1, "cannot write '" + output + "': " + e.what());
  }
}

// The finished file as a reader takes it: every page written is there.
void check_readback(const fs::path& file, int pages) {
  QPDF pdf;
  pdf.setSuppressWarnings(true);
  pdf.processFile(file.c_str());
  const size_t found = pdf.getAllPages().size();
  if (found != size_t(pages))
    throw std::runtime_error("it reads back with " + std::to_string(found) + " of its " + std::to_string(pages) +
                             " pages");
}

}  // namespace

void Join(const std::vector<Input>& inputs, const fs::path& output, const std::string& shown) {
  // The output is written as the inputs are read, one input open at a time: a join of
  // thousands of pages holds one input file open, and in memory one input and the
  // output's offsets. The output is made once the first input opens, so that a first
  // input that cannot be read is named before an output that cannot be made.
  std::optional<host::win::WholeFile> file;
  std::unique_ptr<JoinWriter> writer;
  auto start = [&] {
    writing(shown, [&] {
      file.emplace(output, shown);
      writer = std::make_unique<JoinWriter>(file->TempPath());
    });
  };
  for (const Input& in : inputs) {
    Source source;
    reading(in, shown, [&] { source = open_input(in.path); });
    if (!writer) start();
    reading(in, shown, [&] { writer->Append(*source.pdf); });
  }
  if (!writer) start();
  writing(shown, [&] {
    writer->Finish();
    check_readback(file->TempPath(), writer->Pages());
    file->Commit();
  });
}

}  // namespace pdftk
