// The modem error codes a send can end with, and how each is taken: 3GPP TS 27.005 3.2.5 for the
// codes of the phone and the network (300 and above), 3GPP TS 24.011 E.2 and 3GPP TS 23.040
// 9.2.3.22 for the causes the network returns (below 300). A permanent refusal fails the message
// at once; a temporary one keeps it for a later try; a code not listed is handled as before.
#include "control/replies/send_verdict.h"

#include <algorithm>
#include <array>

namespace lonvera::control {

namespace {

using enum RefusalClass;

// Sorted by code.
constexpr std::array kCmsErrors = {
    CmsErrorEntry{1, Permanent, u"号码不存在"},
    CmsErrorEntry{8, Permanent, u"运营商禁止发送"},
    CmsErrorEntry{10, Permanent, u"号码被限制呼叫"},
    CmsErrorEntry{17, Temporary, u"网络故障"},
    CmsErrorEntry{21, Permanent, u"短信被拒收"},
    CmsErrorEntry{22, Temporary, u"短信中心存储已满"},
    CmsErrorEntry{27, Temporary, u"对方不在服务区"},
    CmsErrorEntry{28, Permanent, u"号码无法识别"},
    CmsErrorEntry{29, Permanent, u"业务被拒绝"},
    CmsErrorEntry{30, Permanent, u"用户不存在"},
    CmsErrorEntry{38, Temporary, u"网络不能服务"},
    CmsErrorEntry{41, Temporary, u"网络暂时故障"},
    CmsErrorEntry{42, Temporary, u"网络拥塞"},
    CmsErrorEntry{47, Temporary, u"网络资源不足"},
    CmsErrorEntry{50, Permanent, u"未开通短信业务"},
    CmsErrorEntry{69, Permanent, u"网络不支持此业务"},
    CmsErrorEntry{96, Permanent, u"短信内容不完整"},
    CmsErrorEntry{144, Permanent, u"编码方式不被支持"},
    CmsErrorEntry{176, Permanent, u"短信格式不被支持"},
    CmsErrorEntry{192, Temporary, u"短信中心忙"},
    CmsErrorEntry{193, Permanent, u"未开通短信中心服务"},
    CmsErrorEntry{194, Temporary, u"短信中心故障"},
    CmsErrorEntry{195, Permanent, u"号码无效"},
    CmsErrorEntry{196, Permanent, u"号码被禁止"},
    CmsErrorEntry{300, Temporary, u"设备故障"},
    CmsErrorEntry{302, Permanent, u"设备不允许此操作"},
    CmsErrorEntry{303, Permanent, u"设备不支持此操作"},
    CmsErrorEntry{304, Permanent, u"短信参数无效"},
    CmsErrorEntry{305, Permanent, u"短信文本参数无效"},
    CmsErrorEntry{310, Temporary, u"未插入SIM卡"},
    CmsErrorEntry{311, Temporary, u"SIM卡需要PIN码"},
    CmsErrorEntry{313, Temporary, u"SIM卡故障"},
    CmsErrorEntry{314, Temporary, u"SIM卡忙"},
    CmsErrorEntry{330, Permanent, u"短信中心号码未知"},
    CmsErrorEntry{331, Temporary, u"无网络服务"},
    CmsErrorEntry{332, Temporary, u"网络超时"},
};

static_assert(std::is_sorted(kCmsErrors.begin(), kCmsErrors.end(),
                             [](const CmsErrorEntry &a, const CmsErrorEntry &b) {
                                 return a.code < b.code;
                             }));

} // namespace

const CmsErrorEntry *cmsErrorEntry(int code)
{
    const auto it = std::lower_bound(
        kCmsErrors.begin(), kCmsErrors.end(), code,
        [](const CmsErrorEntry &entry, int wanted) { return entry.code < wanted; });
    return it != kCmsErrors.end() && it->code == code ? &*it : nullptr;
}

} // namespace lonvera::control
