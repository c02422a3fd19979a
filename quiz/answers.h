// The answer handlers of the form's 27 answer labels, bound by name in the
// form's event table.
#pragma once

namespace lq {

// lbl<n>_Click judges the row with pick n - 1.
void lbl2_Click();
void lbl3_Click();
void lbl4_Click();
void lbl5_Click();
void lbl6_Click();
void lbl7_Click();
void lbl8_Click();
void lbl9_Click();
void lbl10_Click();
void lbl11_Click();
void lbl12_Click();
void lbl13_Click();
void lbl14_Click();
void lbl15_Click();
void lbl16_Click();
void lbl17_Click();
void lbl18_Click();
void lbl19_Click();
void lbl20_Click();
void lbl21_Click();
void lbl22_Click();
void lbl23_Click();
void lbl24_Click();
void lbl25_Click();
void lbl26_Click();
void lbl27_Click();
void lbl28_Click();

}  // namespace lq
