// 登录: the class from the service's list when it lists classes, else typed; the service's
// refusal text shown as it comes.
import { getJson, postForm, showMessage, element } from "/assets/portal.js";

const form = document.getElementById("login-form");
const classText = document.getElementById("class");
const classList = document.getElementById("class-list");
const loginId = document.getElementById("login-id");
const password = document.getElementById("password");
const message = document.getElementById("message");
const button = form.querySelector("button[type=submit]");

let listed = false;

async function loadClasses() {
  const answer = await getJson("/api/classes");
  if (!answer.ok || !answer.data.listed) return;
  listed = true;
  classList.append(element("option", "", "请选择班级"));
  classList.firstChild.value = "";
  for (const name of answer.data.classes) {
    const option = element("option", "", name);
    option.value = name;
    classList.append(option);
  }
  classList.id = "class";
  classText.remove();
  classList.hidden = false;
}

function chosenClass() {
  return (listed ? classList.value : classText.value).trim();
}

// A block's text names the minutes to wait; when the service's text does not, they are added.
function refusalText(data) {
  if (data.code === "blocked" && Number.isInteger(data.waitMinutes) && !data.error.includes(String(data.waitMinutes))) {
    return `${data.error}（请 ${data.waitMinutes} 分钟后再试）`;
  }
  return data.error;
}

form.addEventListener("submit", async (event) => {
  event.preventDefault();
  const fields = { class: chosenClass(), id: loginId.value.trim(), password: password.value };
  if (!fields.class) return showMessage(message, listed ? "请选择班级。" : "请填写班级。");
  if (!fields.id) return showMessage(message, "请填写学号。");
  showMessage(message, "");
  button.disabled = true;
  const answer = await postForm("/api/login", fields);
  button.disabled = false;
  if (answer.ok) {
    location.assign("/files/");
    return;
  }
  password.value = "";
  showMessage(message, refusalText(answer.data));
});

loadClasses();
