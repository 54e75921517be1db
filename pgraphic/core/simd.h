#pragma once
// Loops over every pixel that are worth wider vectors where the processor
// has them: PG_WIDE compiles a function twice, for any x86-64 and for AVX2,
// and the program takes the copy the processor can run when it starts.
// Neither copy fuses a multiply and an add, so both give the same bits.
// GCC also lets its cost model weigh loops it would otherwise leave scalar.

#if defined(__x86_64__) && defined(__has_attribute)
#if __has_attribute(target_clones)
#define PG_HAS_WIDE_CLONES 1
#endif
#endif

#if defined(PG_HAS_WIDE_CLONES) && defined(__GNUC__) && !defined(__clang__)
#define PG_WIDE __attribute__((target_clones("avx2", "default"), optimize("vect-cost-model=dynamic")))
#elif defined(PG_HAS_WIDE_CLONES)
#define PG_WIDE __attribute__((target_clones("avx2", "default")))
#elif defined(__GNUC__) && !defined(__clang__)
#define PG_WIDE __attribute__((optimize("vect-cost-model=dynamic")))
#else
#define PG_WIDE
#endif
