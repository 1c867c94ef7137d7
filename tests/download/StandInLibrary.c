/* Stands in for a system library that lacks the functions the programs call. */
int qor_standin_library_marker(void) {
    return 0;
}
