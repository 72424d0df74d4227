#include "NOVDocument.h"

CNOVDocument::CNOVDocument() = default;

CNOVDocument::~CNOVDocument() = default;
