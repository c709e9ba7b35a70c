// Access to binary assets linked in with embed_binary() (cmake/Embed.cmake).
#pragma once

// Declares `const unsigned char name[]` and its one-past-the-end `nameEnd`.
#define EMBEDDED_BLOB(name)                                                      \
    extern "C" const unsigned char name[] __asm__("embed_" #name);               \
    extern "C" const unsigned char name##End[] __asm__("embed_" #name "_end")
