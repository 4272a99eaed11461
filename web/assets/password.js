// 修改密码: the new password typed twice; a mismatch never reaches the service.
import { postForm, showMessage, startSession } from "/assets/portal.js";

const form = document.getElementById("password-form");
const oldPassword = document.getElementById("old");
const newPassword = document.getElementById("new");
const repeat = document.getElementById("repeat");
const message = document.getElementById("message");
const button = form.querySelector("button[type=submit]");

form.addEventListener("submit", async (event) => {
  event.preventDefault();
  if (!newPassword.value) return showMessage(message, "新密码不能为空。");
  if (newPassword.value !== repeat.value) return showMessage(message, "两次输入的新密码不一致，请重新输入。");
  button.disabled = true;
  const answer = await postForm("/api/password", { old: oldPassword.value, new: newPassword.value });
  button.disabled = false;
  if (answer.ok) form.reset();
  showMessage(message, answer.ok ? "密码已修改，下次登录请用新密码。" : answer.data.error, !answer.ok);
});

startSession("/password");
