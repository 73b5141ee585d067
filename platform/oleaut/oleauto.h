// The OLE Automation stand-in in one include: values (VARIANT), their types and
// constants, strings, arrays, DECIMAL, currency, dates and the conversions.
#pragma once

#include "platform/oleaut/bstr.h"
#include "platform/oleaut/currency.h"
#include "platform/oleaut/decimal.h"
#include "platform/oleaut/hresult.h"
#include "platform/oleaut/iunknown.h"
#include "platform/oleaut/nls.h"
#include "platform/oleaut/oa_date.h"
#include "platform/oleaut/real.h"
#include "platform/oleaut/safearray.h"
#include "platform/oleaut/variant.h"
#include "platform/oleaut/vartype.h"
