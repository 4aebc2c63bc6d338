// One reset of the stub's process-wide values, for test programs that run
// the stub's code again and again in one process. The stub never calls it.
#pragma once

// Puts every value the stub changes while it runs back where the program
// starts: the settings, the own file (closed when open), the last error,
// the frame link, the extraction's values, the cleanup journal (forgotten,
// not run), the cipher and its chain, and the file-call table (the system's
// calls again). Left alone: what the start-up chooses once before anything
// runs (the instance, the heap, the interface language), the output buffer,
// which is allocated once and reused, and the wizard's page table, which no
// in-process test shows and whose copy would cost the stub's file bytes.
void ResetStubState(void);
