// Preloaded into the program when the tests run it under valgrind. Debian's
// FFmpeg loads libjxl, whose libhwy measures its timer's resolution with
// RDTSCP as it loads, whether or not the processor says it has the
// instruction; valgrind decodes RDTSCP only where the processor says so,
// and stops the program with SIGILL before a line of ours runs (seen on
// AMD EPYC machines whose hypervisor hides the flag). This takes the place
// of that one measurement; nothing the program does reads it.
namespace hwy::platform {

double TimerResolution() { return 1.0; }

}  // namespace hwy::platform
