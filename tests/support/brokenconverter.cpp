// A PDF engine library that lacks most entry points, for the "not compatible" error.
extern "C" __attribute__((visibility("default"))) void *PDFE_Initialize(int, int, int, int, void *, void *)
{
    return nullptr;
}
