// The start-up of a program with static constructors (C++ objects with dynamic initialisation,
// or functions marked constructor). _start calls main directly and runs nothing first, so
// the drivers link such a program with main wrapped: _start's call reaches this function,
// which runs the .init_array entries in order and then the program's own main. Programs
// without constructors are linked as before and never contain it.
extern "C" {

using Constructor = void (*)();

// Bounds of .init_array, from the linker script; only referenced here.
extern const Constructor __init_array_start[];
extern const Constructor __init_array_end[];

int __real_main(int argc, char** argv);

int __wrap_main(int argc, char** argv) {
  for (const Constructor* entry = __init_array_start; entry != __init_array_end; ++entry) (*entry)();
  return __real_main(argc, argv);
}

}  // extern "C"
