#pragma once

// Why two files are not compared in detail; their bytes are compared all the same.
enum class KCompareProblem
{
    None,
    Unreadable, // a side could not be opened as a regular file
    TooMuchText, // past the cap on text, or on cells
    NotText, // a text file holds binary bytes
    ArchiveTooLarge, // the document itself is past the cap on archives
    TooManyEntries,
    BrokenArchive, // not a zip archive KArchive can read
    UnsafeEntryName, // an entry named outside its folder
    MissingContent, // the entry that holds the text is not there
    EntryTooLarge, // an entry declares more bytes than the cap
    ZipBomb, // an entry expands far beyond its compressed size, or beyond what it declares
    BrokenXml,
    ImageTooLarge,
    BrokenImage,
    NothingToCompare, // the file is gone and no older version is left
    Cancelled,
};
