halcyra_add_fuzzer(registry_fuzz SOURCES RegistryFuzz.cpp LIBS halcyra_platform)
halcyra_add_fuzzer(drives_fuzz SOURCES DrivesFuzz.cpp LIBS halcyra_platform)
