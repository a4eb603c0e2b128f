#pragma once

#include "pdfexport.h"

// The PDF export the book build uses.
class TPDFPrinter : public TCustomPDFExport
{
};
