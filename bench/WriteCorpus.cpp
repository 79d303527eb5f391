// conversion_corpus DIR: writes the conversion benchmark's corpus as .msg files, for comparisons of
// whole programs on the same files (bench/compare-msgconvert).
#include <cstdio>
#include <exception>

#include "bench/ConversionCorpus.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: conversion_corpus DIR\n");
        return 2;
    }
    try {
        std::printf("%zu files\n", bench::WriteCorpus(argv[1], 300, 20 << 20).size());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "conversion_corpus: %s\n", error.what());
        return 1;
    }
    return 0;
}
