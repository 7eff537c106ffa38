// The host interfaces put every operation at its fixed slot, and the identifiers read as
// their text forms.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/host/acf_ids.h"
#include "platform/host/acf_interfaces.h"

using namespace acf;

namespace {

// The table slot of a virtual operation, from its member pointer (the common C++ ABI stores
// one plus the byte offset into the operation table).
template <class M>
int SlotOf(M member) {
    static_assert(sizeof(M) == 2 * sizeof(uintptr_t));
    uintptr_t raw[2];
    std::memcpy(raw, &member, sizeof raw);
    EXPECT_EQ(raw[0] & 1, 1u) << "not a virtual operation";
    return static_cast<int>((raw[0] - 1) / sizeof(void*));
}

}  // namespace

TEST(HostInterfaces, OperationsSitAtTheirSlots) {
    EXPECT_EQ(SlotOf(&IACFUnknown::QueryInterface), 0);
    EXPECT_EQ(SlotOf(&IACFUnknown::AddRef), 1);
    EXPECT_EQ(SlotOf(&IACFUnknown::Release), 2);
    EXPECT_EQ(SlotOf(&IACFClassFactory::CreateInstance), 3);

    EXPECT_EQ(SlotOf(&IAVXEffect::Reserved3), 3);
    EXPECT_EQ(SlotOf(&IAVXEffect::CreateRenderContext), 5);
    EXPECT_EQ(SlotOf(&IAVXEffect::RenderFrame), 8);
    EXPECT_EQ(SlotOf(&IAVXEffect::DestroyRenderContext), 11);
    EXPECT_EQ(SlotOf(&IAVXModalUI::RunModal), 3);
    EXPECT_EQ(SlotOf(&IAVXConformAVX1::Conform), 3);
    EXPECT_EQ(SlotOf(&IAVXConformAVX1::Reserved5), 5);

    EXPECT_EQ(SlotOf(&IAVXEffectAccess::GetLengthInFrames), 9);
    EXPECT_EQ(SlotOf(&IAVXEffectAccess::GetInputAccess), 12);
    EXPECT_EQ(SlotOf(&IAVXEffectAccess::GetParameter), 18);
    EXPECT_EQ(SlotOf(&IAVXEffectAccess::GetFrameRate), 20);
    EXPECT_EQ(SlotOf(&IAVXParameter::GetValue), 5);
    EXPECT_EQ(SlotOf(&IAVXParameter::SetValue), 6);
    EXPECT_EQ(SlotOf(&IAVXTime::GetFramePosition), 3);
    EXPECT_EQ(SlotOf(&IAVXFieldType::GetFieldKind), 4);
    EXPECT_EQ(SlotOf(&IAVXOutputAccess::GetOutputFrame), 4);
    EXPECT_EQ(SlotOf(&IAVXFrame::GetWidth), 4);
    EXPECT_EQ(SlotOf(&IAVXFrame::GetHeight), 5);
    EXPECT_EQ(SlotOf(&IAVXFrame::GetInputKey), 8);
    EXPECT_EQ(SlotOf(&IAVXFrame::GetFieldOrder), 12);
    EXPECT_EQ(SlotOf(&IAVXFrame::GetPixels), 17);
    EXPECT_EQ(SlotOf(&IAVXInputAccess::GetInputFrame), 5);

    EXPECT_EQ(SlotOf(&IACFDefinitionFactory::CreateInstance), 3);
    EXPECT_EQ(SlotOf(&IAVXEffectDefinition::SetEffectValues), 7);
    EXPECT_EQ(SlotOf(&IAVXEffectDefinition::AddParameterDefinition), 8);
    EXPECT_EQ(SlotOf(&IAVXConformDefinition::AddMapping), 5);
}

TEST(HostInterfaces, InterfacesHaveNoDestructorSlots) {
    // Only the operation table pointer: no data, and a destructor would be found by the
    // compiler as virtual.
    EXPECT_EQ(sizeof(IAVXFrame), sizeof(void*));
    EXPECT_FALSE(std::has_virtual_destructor_v<IACFUnknown>);
    EXPECT_FALSE(std::has_virtual_destructor_v<IAVXEffect>);
    EXPECT_FALSE(std::has_virtual_destructor_v<IAVXEffectAccess>);
}

TEST(HostInterfaces, IdentifiersKeepTheirTextAndLayout) {
    EXPECT_EQ(UidText(UID_KinevistaPlugin), "{A78398EB-D921-42A8-9137-4B336695A206}");
    EXPECT_EQ(UidText(IID_IACFUnknown), "{00000000-0000-0000-C000-000000000046}");
    EXPECT_EQ(UidText(TYPE_OpaqueBytes), "{C02F2CAA-7293-11D6-B4E4-0030658A6504}");
    // The customary byte layout: the first three numbers little-endian, then eight bytes.
    const uint8_t bytes[16] = {0xEB, 0x98, 0x83, 0xA7, 0x21, 0xD9, 0xA8, 0x42,
                               0x91, 0x37, 0x4B, 0x33, 0x66, 0x95, 0xA2, 0x06};
    EXPECT_EQ(std::memcmp(&UID_KinevistaPlugin, bytes, 16), 0);
    EXPECT_FALSE(UID_KinevistaEffect == UID_KinevistaModalUI);
    EXPECT_EQ(WideToUtf8(u"Fernquill, LLC"), "Fernquill, LLC");
    EXPECT_EQ(WideToUtf8(u"\u00e9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
}
