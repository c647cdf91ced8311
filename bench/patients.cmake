# Patient files: one message's open and append against the length of the patient's file.
halcyra_add_benchmark(patients_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/PatientBench.cpp LIBS halcyra_patients)
