// Every message the package library raises, written once. A phrase that a
// path or member name follows ends in a blank; kDoesNotExist follows the path.
#pragma once

namespace packagemessage {

// Recognising and reading a package file.
inline constexpr char kDoesNotExist[] = " does not exist";
inline constexpr char kUnsupportedFormat[] = "unsupported package file format";
inline constexpr char kUnsupportedVersion[] = "unsupported package file version";
inline constexpr char kUnsupportedCompression[] = "unsupported compression algorithm";
inline constexpr char kBadHeader[] = "bad header";
inline constexpr char kBadTableOfContents[] = "bad table of contents";

// Writing a package file.
inline constexpr char kCannotOpenOutput[] = "cannot open output file";
inline constexpr char kCannotWriteHeader[] = "cannot write header";
inline constexpr char kCannotWriteBodyHeader[] = "cannot write header2";
inline constexpr char kFilenameTooLong[] = "filename too long";
inline constexpr char kCannotWriteRecord[] = "cannot write table of contents";
inline constexpr char kCannotWriteRecordName[] = "cannot write table of contents filename";
inline constexpr char kCannotWriteFile[] = "cannot write file";
inline constexpr char kPackageTooLarge[] = "package too large";

// Members and their bytes.
inline constexpr char kCannotRead[] = "cannot read ";
inline constexpr char kFileTooLarge[] = "file too large ";
inline constexpr char kCannotReadFile[] = "cannot read file ";
inline constexpr char kFromArchive[] = " from archive";
inline constexpr char kFileChanged[] = "file changed while reading ";

// Extraction.
inline constexpr char kCannotOverwrite[] = "cannot overwrite file ";
inline constexpr char kCannotCreateOutput[] = "cannot create output file ";
inline constexpr char kCannotWriteOutput[] = "cannot write to output file ";
inline constexpr char kCannotSetMode[] = "cannot set mode of output file ";

// Keeping a large member aside until it has been read whole.
inline constexpr char kCannotCreateSpool[] = "cannot create temporary file in ";
inline constexpr char kCannotWriteSpool[] = "cannot write temporary file in ";

// The compressed member streams.
inline constexpr char kInitInflate[] = "cannot initialise inflate";
inline constexpr char kInitDeflate[] = "cannot initialise deflate";
inline constexpr char kReadingStream[] = "error reading stream";
inline constexpr char kReadingCompressed[] = "error reading from compressed stream";
inline constexpr char kDecompressing[] = "error decompressing stream";
inline constexpr char kCompressing[] = "error compressing stream";
inline constexpr char kWritingCompressed[] = "error writing to compressed stream";

// The package description.
inline constexpr char kCannotLoadDescription[] = "cannot load package description file: ";

} // namespace packagemessage
