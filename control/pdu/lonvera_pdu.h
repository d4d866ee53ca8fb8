// The SMS PDU codec in one include. Pure functions; any thread.
#pragma once

#include "address.h"
#include "gsm7_alphabet.h"
#include "hex.h"
#include "pdu.h"
#include "received_record.h"
#include "segmentation.h"
#include "status_report.h"
#include "timestamp.h"
#include "tpdu_deliver.h"
#include "tpdu_submit.h"
#include "ucs2.h"
#include "user_data.h"
