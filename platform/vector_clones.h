#pragma once

// Hot loops of the program are built more than once: for processors with 32-byte vector
// units (x86-64 level 3) and for every processor, the best that the processor runs being
// chosen when the program starts. Every clone computes the same bits as the others.
//
// QUILLO_VECTOR_CLONES on a function builds it in every clone, chosen per call by the
// loader; QUILLO_VECTOR_WIDE builds one function for the wide units alone, for code that
// chooses its clone itself (and can then test each one), when QUILLO_HAS_VECTOR_CLONES.

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define QUILLO_HAS_VECTOR_CLONES 1
#define QUILLO_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#define QUILLO_VECTOR_WIDE __attribute__((target("arch=x86-64-v3")))
// Whether this processor runs the wide clone.
#define QUILLO_RUNS_VECTOR_WIDE() (__builtin_cpu_supports("x86-64-v3"))
#else
#define QUILLO_HAS_VECTOR_CLONES 0
#define QUILLO_VECTOR_CLONES
#define QUILLO_VECTOR_WIDE
#define QUILLO_RUNS_VECTOR_WIDE() false
#endif
