// The library's C entry points. Each one traps every failure: no exception crosses into
// the caller, a failure is reported through the message callback and a negative result.
#include "engine.h"
#include "imageencode.h"
#include "pdfe.h"

#include <cstdio>
#include <exception>
#include <new>

namespace {

template<typename F>
int trap(void *instance, F &&fn)
{
    auto *engine = static_cast<pdfe::Engine *>(instance);
    try {
        return fn(engine);
    } catch (const std::bad_alloc &) {
        if (engine)
            engine->message(-3, "out of memory");
    } catch (const std::exception &e) {
        if (engine)
            engine->message(-3, e.what());
    } catch (...) {
        if (engine)
            engine->message(-3, "unknown failure");
    }
    return -3;
}

} // namespace

extern "C" {

PDFE_API void *PDFE_CALL PDFE_Initialize(int32_t, int32_t, int32_t, int32_t, PDFE_MessageCallback callback, void *context)
{
    return new (std::nothrow) pdfe::Engine(callback, context);
}

PDFE_API void PDFE_CALL PDFE_SetIProp(void *instance, int32_t property, int32_t value)
{
    if (instance)
        trap(instance, [&](pdfe::Engine *e) { e->setInteger(property, value); return 0; });
}

PDFE_API void PDFE_CALL PDFE_SetSProp(void *instance, int32_t property, const char16_t *text)
{
    if (instance)
        trap(instance, [&](pdfe::Engine *e) { e->setText(property, text); return 0; });
}

PDFE_API int32_t PDFE_CALL PDFE_Action(void *instance, int32_t action, int32_t, void *pointer)
{
    if (!instance)
        return -1;
    return trap(instance, [&](pdfe::Engine *e) { return e->action(action, pointer); });
}

PDFE_API void PDFE_CALL PDFE_InitializePage(void *instance, int32_t, const TPDFE_InitRec *page)
{
    if (instance && page)
        trap(instance, [&](pdfe::Engine *e) { e->initializePage(*page); return 0; });
}

PDFE_API void PDFE_CALL PDFE_Finalize(void *instance)
{
    trap(nullptr, [&](pdfe::Engine *) { delete static_cast<pdfe::Engine *>(instance); return 0; });
}

PDFE_API void *PDFE_CALL PDFE_EncodeImage(const PDFE_Bitmap *bitmap, char *error, size_t errorSize)
{
    auto fail = [&](const char *reason) -> void * {
        if (error && errorSize > 0)
            std::snprintf(error, errorSize, "%s", reason);
        return nullptr;
    };
    if (!bitmap)
        return fail("no bitmap");
    try {
        return new pdfe::EncodedImage(pdfe::EncodeBitmap(*bitmap));
    } catch (const std::bad_alloc &) {
        return fail("out of memory");
    } catch (const std::exception &e) {
        return fail(e.what());
    } catch (...) {
        return fail("unknown failure");
    }
}

PDFE_API void PDFE_CALL PDFE_FreeImage(void *image)
{
    delete static_cast<pdfe::EncodedImage *>(image);
}

PDFE_API int32_t PDFE_CALL PDFE_DrawText(void *instance, const PDFE_TextWord *words, int32_t count)
{
    if (!instance)
        return -1;
    return trap(instance, [&](pdfe::Engine *e) { return e->drawText(words, count); });
}

PDFE_API int32_t PDFE_CALL PDFE_ProcessPDF(void *, int32_t, void *)
{
    return -1;
}

PDFE_API int32_t PDFE_CALL _PDFE_EXEC(void *, int32_t, void *)
{
    return -1;
}

} // extern "C"
